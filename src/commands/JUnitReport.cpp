#include "commands/JUnitReport.h"

#include "codec/Codec.h"
#include "commands/Expectation.h"

#include <QXmlStreamWriter>

namespace {

struct Counts {
    int failures = 0;
    int errors = 0;
    int skipped = 0;
    double seconds = 0;
};

Counts count(const QList<StepResult>& steps)
{
    Counts counts;
    for (const StepResult& step : steps) {
        counts.failures += step.status == StepResult::Status::Failed;
        counts.errors += step.status == StepResult::Status::Error;
        counts.skipped += step.status == StepResult::Status::NotRun;
        counts.seconds += step.seconds;
    }
    return counts;
}

void writeCounts(QXmlStreamWriter& xml, qsizetype tests, const Counts& counts)
{
    xml.writeAttribute(QStringLiteral("tests"), QString::number(tests));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(counts.failures));
    xml.writeAttribute(QStringLiteral("errors"), QString::number(counts.errors));
    xml.writeAttribute(QStringLiteral("skipped"), QString::number(counts.skipped));
    xml.writeAttribute(QStringLiteral("time"), QString::number(counts.seconds, 'f', 6));
}

// The facts a person needs to see why: both sides, and the bytes on the line.
QString details(const StepResult& step)
{
    QString text = QStringLiteral("expected: %1\n").arg(step.expected);
    if (step.last) {
        text += QStringLiteral("actual: %1\nframe_hex: %2\nreply_hex: %3\nexchange: %4 of the "
                               "step, at %5\n")
                    .arg(Expectation::describe(*step.last), codec::AscConvert(step.last->frame),
                         codec::AscConvert(step.last->reply))
                    .arg(step.exchanges)
                    .arg(step.last->timeText());
    }
    return text;
}

void writeCase(QXmlStreamWriter& xml, const QString& suiteName, const StepResult& step)
{
    xml.writeStartElement(QStringLiteral("testcase"));
    xml.writeAttribute(QStringLiteral("name"),
                       QStringLiteral("%1 %2").arg(step.number).arg(step.name));
    xml.writeAttribute(QStringLiteral("classname"), suiteName);
    xml.writeAttribute(QStringLiteral("time"), QString::number(step.seconds, 'f', 6));
    switch (step.status) {
    case StepResult::Status::Passed:
        break;
    case StepResult::Status::Failed:
    case StepResult::Status::Error: {
        const bool failed = step.status == StepResult::Status::Failed;
        xml.writeStartElement(failed ? QStringLiteral("failure") : QStringLiteral("error"));
        xml.writeAttribute(QStringLiteral("message"), step.why);
        xml.writeAttribute(QStringLiteral("type"),
                           failed ? QStringLiteral("mismatch") : QStringLiteral("port_failure"));
        xml.writeCharacters(details(step));
        xml.writeEndElement();
        break;
    }
    case StepResult::Status::NotRun:
        xml.writeStartElement(QStringLiteral("skipped"));
        xml.writeAttribute(QStringLiteral("message"), step.why);
        xml.writeEndElement();
        break;
    }
    xml.writeEndElement();
}

} // namespace

void writeJUnitReport(QIODevice& device, const QString& suiteName, const QDateTime& startedAt,
                      const QList<StepResult>& steps)
{
    const Counts counts = count(steps);
    QXmlStreamWriter xml(&device);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), suiteName);
    writeCounts(xml, steps.size(), counts);
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), suiteName);
    writeCounts(xml, steps.size(), counts);
    xml.writeAttribute(QStringLiteral("timestamp"), startedAt.toUTC().toString(Qt::ISODate));
    for (const StepResult& step : steps)
        writeCase(xml, suiteName, step);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
}
