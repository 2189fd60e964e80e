#include "commands/RunCommand.h"

#include "codec/Codec.h"
#include "commands/CommandParser.h"
#include "commands/ExchangeSession.h"
#include "commands/ExitStatus.h"
#include "commands/Output.h"
#include "engine/OutputFile.h"
#include "plans/InputFile.h"
#include "plans/JUnitReport.h"
#include "plans/PlanReader.h"
#include "serial/PortMap.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const char kEpilogue[] =
    "PLAN is a JSON file: the ports and the line, then the steps, each a console, a message\n"
    "and what to expect of the reply (see the README). The whole plan is checked before\n"
    "anything is sent.\n\n"
    "Exit status: 0 every step passed, 1 a step failed, 4 a port failed (the steps after it are\n"
    "not run), 64 a refused command line (a report or log that is the plan itself included),\n"
    "65 a refused plan, 66 a plan that cannot be read (one that is no regular file, or larger\n"
    "than %1 MiB, included), 73 a log or report that cannot be created (a named pipe that nobody\n"
    "reads included), 74 a log line or standard output that cannot be written, 129, 130 and\n"
    "143 after SIGHUP, SIGINT and SIGTERM (the report then holds the steps done, the rest not\n"
    "run). When standard output is closed or full, run stops after the step in progress,\n"
    "writes the report with the rest not run, and ends with 74.\n\n"
    "Example: rs232c run --demo --junit report.xml examples/smoke-test.json";

const QString kJUnit = QStringLiteral("junit");

// The same file, also through another path or a link.
bool isSameFile(const QString& a, const QString& b)
{
    struct stat first {};
    struct stat second {};
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

QString statusName(StepResult::Status status)
{
    switch (status) {
    case StepResult::Status::Passed:
        return QStringLiteral("passed");
    case StepResult::Status::Failed:
        return QStringLiteral("failed");
    case StepResult::Status::Error:
        return QStringLiteral("error");
    case StepResult::Status::Interrupted:
        return QStringLiteral("interrupted");
    case StepResult::Status::NotRun:
        break;
    }
    return QStringLiteral("not_run");
}

// Runs the step's exchanges until one does not meet the expectation, the port fails, the log
// fails or a signal comes. No exchange begins after a signal, so a step cut by one before its
// first exchange put nothing on the line.
StepResult runStep(const PlanStep& step, ExchangeSession& session)
{
    StepResult result;
    result.name = step.name;
    result.expected = step.expect.describe();
    result.status = StepResult::Status::Passed;
    QElapsedTimer clock;
    clock.start();
    for (int count = 0; count < step.repeat; ++count) {
        if (!session.pause(count > 0 ? step.intervalMs : 0)) {
            result.status =
                count > 0 ? StepResult::Status::Interrupted : StepResult::Status::NotRun;
            result.why = endedBySignal(session.caughtSignal());
            break;
        }
        const ExchangeRecord record = session.exchange(step.exchange);
        result.exchanges = count + 1;
        result.last = record;
        if (record.outcome == ExchangeRecord::Outcome::PortFailure) {
            result.status = StepResult::Status::Error;
            result.why = QStringLiteral("%1: %2").arg(record.word(), record.error);
            break;
        }
        if (record.outcome == ExchangeRecord::Outcome::Interrupted) {
            result.status = StepResult::Status::Interrupted;
            result.why = record.error;
            break;
        }
        if (!step.expect.isMetBy(record)) {
            result.status = StepResult::Status::Failed;
            result.why = QStringLiteral("expected %1; got %2")
                             .arg(result.expected, Expectation::describe(record));
            break;
        }
        if (!session.logError().isEmpty()) {
            result.status = StepResult::Status::Error;
            result.why = QStringLiteral("the log could not be written: %1").arg(session.logError());
            break;
        }
    }
    result.seconds = double(clock.nsecsElapsed()) / 1e9;
    return result;
}

// Why the steps after this one are not run; empty when they are.
QString restNotRun(const StepResult& result, const ExchangeSession& session)
{
    if (result.last && result.last->outcome == ExchangeRecord::Outcome::PortFailure)
        return QStringLiteral("not run: the port failed in step %1").arg(result.number);
    if (session.caughtSignal() != 0)
        return QStringLiteral("not run");
    if (!session.logError().isEmpty())
        return QStringLiteral("not run: the log could not be written");
    if (!Output::failure().isEmpty())
        return QStringLiteral("not run: standard output could not be written");
    return {};
}

// Control characters of a name or a path show as their pictures and never act on the terminal.
QString stepLine(const StepResult& step)
{
    static const char* const kTags[] = {"PASS", "FAIL", "FAIL", "STOP", "SKIP"};
    QString text = QStringLiteral("%1 %2 %3: ")
                       .arg(QLatin1String(kTags[int(step.status)]))
                       .arg(step.number)
                       .arg(step.name);
    if (step.status == StepResult::Status::Passed)
        text += QStringLiteral("expected %1; got %2")
                    .arg(step.expected, Expectation::describe(*step.last));
    else
        text += step.why;
    if (step.exchanges > 1)
        text += step.status == StepResult::Status::Passed ||
                        step.status == StepResult::Status::Interrupted
                    ? QStringLiteral(" (%1 exchanges)").arg(step.exchanges)
                    : QStringLiteral(" (exchange %1)").arg(step.exchanges);
    return codec::withControlPictures(text);
}

QJsonObject stepJson(const StepResult& step)
{
    QJsonObject object{{QStringLiteral("step"), step.number},
                       {QStringLiteral("name"), step.name},
                       {QStringLiteral("result"), statusName(step.status)},
                       {QStringLiteral("expected"), step.expected},
                       {QStringLiteral("exchanges"), step.exchanges}};
    if (!step.why.isEmpty())
        object.insert(QStringLiteral("why"), step.why);
    if (step.last)
        object.insert(QStringLiteral("exchange"), step.last->toJson());
    return object;
}

} // namespace

int runCommand(const QStringList& arguments)
{
    CommandParser parser(QStringLiteral("run"),
                         QStringLiteral("Runs the steps of a test plan against the device and "
                                        "reports each: one line a step, then a summary."),
                         QStringLiteral("PLAN"),
                         QString::fromUtf8(kEpilogue).arg(InputFile::kMaxBytes / (1024 * 1024)));
    parser.addOption(QCommandLineOption(
        kJUnit, QStringLiteral("Writes a JUnit XML report to the file."), QStringLiteral("file")));
    ProgramState state;
    ExchangeSession session(parser, state);
    if (const std::optional<int> status = parser.parse(arguments))
        return *status;
    if (parser.positionalArguments().size() != 1)
        return parser.refuse(QStringLiteral("one PLAN file is needed."));

    const QString planPath = parser.positionalArguments().constFirst();
    const auto planFile = InputFile::read(planPath);
    if (const QString* refusal = std::get_if<QString>(&planFile)) {
        Output::error(*refusal);
        return ExitStatus::kNoInput;
    }
    const auto reading = readPlan(std::get<QByteArray>(planFile));
    if (const QString* refusal = std::get_if<QString>(&reading)) {
        Output::error(QStringLiteral("%1: %2").arg(planPath, *refusal));
        return ExitStatus::kDataError;
    }
    const Plan& plan = std::get<Plan>(reading);
    const QString suiteName =
        plan.name.isEmpty() ? QFileInfo(planPath).completeBaseName() : plan.name;

    for (const QString& option : {kJUnit, QStringLiteral("log")}) {
        if (parser.isSet(option) && isSameFile(parser.value(option), planPath))
            return parser.refuse(
                QStringLiteral("--%1 names the plan itself; it must be another file.").arg(option));
    }
    QFile report(parser.value(kJUnit));
    if (parser.isSet(kJUnit)) {
        QString why;
        const int fd = openOutputFile(report.fileName(), O_TRUNC, &why);
        if (fd == -1) {
            Output::error(QStringLiteral("the report cannot be created: %1").arg(why));
            return ExitStatus::kCannotCreate;
        }
        report.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    }
    if (const std::optional<int> status = session.start())
        return *status;
    if (!session.demo()) {
        PortMap::setDevice(1, plan.ports[0]);
        PortMap::setDevice(2, plan.ports[1]);
    }

    const QDateTime startedAt = QDateTime::currentDateTimeUtc();
    QList<StepResult> results;
    QString stopped; // why the steps after the current one are not run
    for (qsizetype index = 0; index < plan.steps.size(); ++index) {
        StepResult result;
        if (stopped.isEmpty()) {
            result = runStep(plan.steps[index], session);
        } else {
            result.name = plan.steps[index].name;
            result.expected = plan.steps[index].expect.describe();
            result.why = stopped;
        }
        result.number = int(index + 1);
        if (session.json())
            Output::json(stepJson(result));
        else
            Output::line(stepLine(result));
        if (stopped.isEmpty())
            stopped = restNotRun(result, session);
        results << result;
    }

    int passed = 0;
    int failed = 0;
    int interrupted = 0;
    int notRun = 0;
    for (const StepResult& result : results) {
        passed += result.status == StepResult::Status::Passed;
        failed += result.status == StepResult::Status::Failed ||
                  result.status == StepResult::Status::Error;
        interrupted += result.status == StepResult::Status::Interrupted;
        notRun += result.status == StepResult::Status::NotRun;
    }
    if (session.json())
        Output::json({{QStringLiteral("passed"), passed},
                      {QStringLiteral("failed"), failed},
                      {QStringLiteral("interrupted"), interrupted},
                      {QStringLiteral("not_run"), notRun}});
    else
        Output::line(
            QStringLiteral("%1 passed, %2 failed").arg(passed).arg(failed) +
            (interrupted > 0 ? QStringLiteral(", %1 interrupted").arg(interrupted) : QString()) +
            (notRun > 0 ? QStringLiteral(", %1 not run").arg(notRun) : QString()));
    if (report.isOpen()) {
        writeJUnitReport(report, suiteName, startedAt, results);
        if (!report.flush()) {
            Output::error(QStringLiteral("the report cannot be written: %1: %2")
                              .arg(report.fileName(), report.errorString()));
            return ExitStatus::kIoError;
        }
    }

    if (!session.logError().isEmpty()) {
        Output::error(QStringLiteral("the log cannot be written: %1").arg(session.logError()));
        return ExitStatus::kIoError;
    }
    if (session.caughtSignal() != 0)
        return ExitStatus::signalled(session.caughtSignal());
    const bool portFailed = std::any_of(results.cbegin(), results.cend(), [](const StepResult& r) {
        return r.last && r.last->outcome == ExchangeRecord::Outcome::PortFailure;
    });
    if (portFailed)
        return ExitStatus::kPortFailure;
    return failed > 0 ? ExitStatus::kStepFailed : 0;
}
