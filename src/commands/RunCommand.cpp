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
#include "plans/PlanRun.h"
#include "serial/PortMap.h"

#include <QEventLoop>
#include <QFile>
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

// Control characters of a name or a path show as their pictures and never act on the terminal.
QString stepLine(const StepResult& step)
{
    QString text =
        QStringLiteral("%1 %2 %3: ").arg(stepTag(step.status)).arg(step.number).arg(step.name);
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
    bool unreadable = false;
    const auto reading = readPlanFile(planPath, &unreadable);
    if (const QString* refusal = std::get_if<QString>(&reading)) {
        Output::error(*refusal);
        return unreadable ? ExitStatus::kNoInput : ExitStatus::kDataError;
    }
    const Plan& plan = std::get<Plan>(reading);

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
    PlanRun run(plan, session.runner());
    QObject::connect(&session.signalWatcher(), &SignalWatcher::caught, &run,
                     [&run](int signal) { run.stop(endedBySignal(signal)); });
    QObject::connect(&run, &PlanRun::stepEnded, &run, [&run, &session](const StepResult& result) {
        if (session.json())
            Output::json(stepJson(result));
        else
            Output::line(stepLine(result));
        if (!Output::failure().isEmpty())
            run.skipRest(QStringLiteral("not run: standard output could not be written"));
    });
    QEventLoop loop;
    QObject::connect(&run, &PlanRun::finished, &loop, &QEventLoop::quit);
    run.start();
    if (run.running())
        loop.exec();
    const QList<StepResult>& results = run.results();

    const StepCounts counts = StepCounts::of(results);
    if (session.json())
        Output::json({{QStringLiteral("passed"), counts.passed},
                      {QStringLiteral("failed"), counts.failed},
                      {QStringLiteral("interrupted"), counts.interrupted},
                      {QStringLiteral("not_run"), counts.notRun}});
    else
        Output::line(counts.summary());
    if (report.isOpen()) {
        writeJUnitReport(report, junitSuiteName(plan.name, planPath), startedAt, results);
        if (!report.flush()) {
            Output::error(QStringLiteral("the report cannot be written: %1: %2")
                              .arg(report.fileName(), report.errorString()));
            return ExitStatus::kIoError;
        }
    }

    if (!run.logError().isEmpty()) {
        Output::error(QStringLiteral("the log cannot be written: %1").arg(run.logError()));
        return ExitStatus::kIoError;
    }
    if (session.caughtSignal() != 0)
        return ExitStatus::signalled(session.caughtSignal());
    const bool portFailed = std::any_of(results.cbegin(), results.cend(), [](const StepResult& r) {
        return r.last && r.last->outcome == ExchangeRecord::Outcome::PortFailure;
    });
    if (portFailed)
        return ExitStatus::kPortFailure;
    return counts.failed > 0 ? ExitStatus::kStepFailed : 0;
}
