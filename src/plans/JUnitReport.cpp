#include "plans/JUnitReport.h"

#include "codec/Codec.h"
#include "plans/Expectation.h"

#include <QFileInfo>
#include <QStringList>
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
        counts.errors += step.status == StepResult::Status::Error ||
                         step.status == StepResult::Status::Interrupted;
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

// XML holds no control characters: they go in as the pictures the consoles show them by.
QString xmlText(const QString& text)
{
    return codec::withControlPictures(text);
}

// The facts a person needs to see why: both sides, and the bytes on the line.
QString details(const StepResult& step)
{
    QStringList lines{QStringLiteral("expected: %1").arg(step.expected)};
    if (step.last) {
        lines << QStringLiteral("actual: %1").arg(Expectation::describe(*step.last))
              << QStringLiteral("frame_hex: %1").arg(codec::AscConvert(step.last->frame))
              << QStringLiteral("reply_hex: %1").arg(codec::AscConvert(step.last->reply))
              << QStringLiteral("exchange: %1 of the step, at %2")
                     .arg(step.exchanges)
                     .arg(step.last->timeText());
    }
    QString text;
    for (const QString& line : lines)
        text += xmlText(line) + QLatin1Char('\n');
    return text;
}

// The type of a failure or an error: what made the step end without passing.
QString problemType(const StepResult& step)
{
    if (step.status == StepResult::Status::Failed)
        return QStringLiteral("mismatch");
    if (step.status == StepResult::Status::Interrupted)
        return QStringLiteral("interrupted");
    return step.last && step.last->outcome == ExchangeRecord::Outcome::PortFailure
               ? QStringLiteral("port_failure")
               : QStringLiteral("log_failure");
}

void writeCase(QXmlStreamWriter& xml, const QString& suiteName, const StepResult& step)
{
    xml.writeStartElement(QStringLiteral("testcase"));
    xml.writeAttribute(QStringLiteral("name"),
                       xmlText(QStringLiteral("%1 %2").arg(step.number).arg(step.name)));
    xml.writeAttribute(QStringLiteral("classname"), xmlText(suiteName));
    xml.writeAttribute(QStringLiteral("time"), QString::number(step.seconds, 'f', 6));
    switch (step.status) {
    case StepResult::Status::Passed:
        break;
    case StepResult::Status::Failed:
    case StepResult::Status::Error:
    case StepResult::Status::Interrupted: {
        const bool failed = step.status == StepResult::Status::Failed;
        xml.writeStartElement(failed ? QStringLiteral("failure") : QStringLiteral("error"));
        xml.writeAttribute(QStringLiteral("message"), xmlText(step.why));
        xml.writeAttribute(QStringLiteral("type"), problemType(step));
        xml.writeCharacters(details(step));
        xml.writeEndElement();
        break;
    }
    case StepResult::Status::NotRun:
        xml.writeStartElement(QStringLiteral("skipped"));
        xml.writeAttribute(QStringLiteral("message"), xmlText(step.why));
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
    xml.writeAttribute(QStringLiteral("name"), xmlText(suiteName));
    writeCounts(xml, steps.size(), counts);
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), xmlText(suiteName));
    writeCounts(xml, steps.size(), counts);
    xml.writeAttribute(QStringLiteral("timestamp"), startedAt.toUTC().toString(Qt::ISODate));
    for (const StepResult& step : steps)
        writeCase(xml, suiteName, step);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
}

QString junitSuiteName(const QString& planName, const QString& planPath)
{
    return planName.isEmpty() ? QFileInfo(planPath).completeBaseName() : planName;
}
