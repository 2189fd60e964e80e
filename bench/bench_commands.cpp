// Prints one table of the shell commands' figures against the simulated device on a pty:
// rs232c send as a whole process next to a python3-serial script doing the same exchange, a
// 1000-exchange Loader plan through rs232c run, and what the session log costs an exchange.
// Figures only: nothing here passes or fails.

#include "BenchSupport.h"
#include "device/SimulatedDevice.h"
#include "engine/SessionLog.h"
#include "protocols/ExchangeRecord.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStorageInfo>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace bench;

constexpr int kProcessRuns = 60;
constexpr int kPlanExchanges = 1000;
constexpr int kPlanRuns = 7; // each way, with and without the log, taken in turns

bool pythonSerialWorks()
{
    QProcess probe;
    probe.start(python(), {QStringLiteral("-c"), QStringLiteral("import serial")});
    return probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

QString writePlan(const QTemporaryDir& dir, const QString& device)
{
    QJsonArray steps;
    for (int i = 0; i < kPlanExchanges; ++i)
        steps.append(QJsonObject{
            {"console", "loader"}, {"message", "ABC"}, {"expect", QJsonObject{{"class", "ack"}}}});
    const QJsonObject plan{{"ports", QJsonObject{{"1", device}}}, {"steps", steps}};
    const QString path = dir.filePath(QStringLiteral("plan.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write(QJsonDocument(plan).toJson());
    return path;
}

struct PlanRun {
    double totalMs = 0;
    std::vector<double> gapsMs; // between the exchanges' start times
};

// The time field's microseconds since the epoch.
qint64 microsecondsOf(const QString& time)
{
    const QDateTime whole = QDateTime::fromString(time.left(19) + QLatin1Char('Z'), Qt::ISODate);
    return whole.toMSecsSinceEpoch() * 1000 + time.mid(20, 6).toLongLong();
}

PlanRun runPlan(const QString& planPath, const QStringList& extra)
{
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(RS232C_COMMAND_PATH),
                  QStringList{QStringLiteral("run"), QStringLiteral("--json"), planPath} + extra);
    process.waitForFinished(600000);
    PlanRun run;
    run.totalMs = clock.nsecsElapsed() / 1e6;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        qFatal("rs232c run: status %d\n%s", process.exitCode(),
               process.readAllStandardError().constData());
    std::vector<qint64> starts;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const QJsonObject exchange = QJsonDocument::fromJson(line).object()["exchange"].toObject();
        if (!exchange.isEmpty())
            starts.push_back(microsecondsOf(exchange["time"].toString()));
    }
    if (starts.size() != size_t(kPlanExchanges))
        qFatal("rs232c run: %zu exchanges instead of %d", starts.size(), kPlanExchanges);
    for (size_t i = 1; i < starts.size(); ++i)
        run.gapsMs.push_back((starts[i] - starts[i - 1]) / 1000.0);
    return run;
}

// The log's own work on the exchange's thread, in ms: a Loader exchange's record made into its
// line and written, with the syncer at work, at about a fast plan's pace.
double logWorkMs(const QString& path)
{
    QString why;
    const std::unique_ptr<SessionLog> log = SessionLog::open(path, &why);
    if (!log)
        qFatal("%s", qPrintable(why));
    ExchangeRecord record;
    record.device = QStringLiteral("/dev/pts/0");
    record.settings = QStringLiteral("38400,n,8,1");
    record.frame = QByteArray::fromHex("02414243433603");
    record.reply = QByteArray::fromHex("0604");
    record.latency = std::chrono::microseconds(120);
    record.window = std::chrono::microseconds(125);
    record.polls = 2;
    std::vector<double> times;
    QElapsedTimer clock;
    for (int i = 0; i < 2000; ++i) {
        record.time = std::chrono::system_clock::now();
        clock.start();
        if (!log->append(record.jsonLine()))
            qFatal("%s", qPrintable(log->lastError()));
        times.push_back(clock.nsecsElapsed() / 1e6);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return median(times);
}

// What a log line would cost an exchange if it waited for the disk: write and fdatasync, in ms.
double syncedLineMs(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd == -1)
        qFatal("cannot open %s", qPrintable(path));
    const QByteArray line(260, 'x');
    std::vector<double> times;
    QElapsedTimer clock;
    for (int i = 0; i < 200; ++i) {
        clock.start();
        if (::write(fd, line.constData(), size_t(line.size())) != line.size() ||
            ::fdatasync(fd) != 0)
            qFatal("cannot write %s", qPrintable(path));
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    ::close(fd);
    return median(times);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SimulatedDevice device; // answers a Loader frame with ACK EOT at once
    QTemporaryDir dir;
    const QString command = QStringLiteral(RS232C_COMMAND_PATH);

    std::printf("Machine: %s, %d cores; Qt %s\n", qPrintable(QSysInfo::prettyProductName()),
                QThread::idealThreadCount(), qVersion());
    std::printf("Lock files in /run/lock on %s; the log in %s on %s.\n",
                QStorageInfo(QStringLiteral("/run/lock")).fileSystemType().constData(),
                qPrintable(dir.path()), QStorageInfo(dir.path()).fileSystemType().constData());
    std::printf(
        "Medians over %d processes each; of the exchanges of %d runs of a %d-exchange plan\n"
        "each way (with and without the log, in turns); totals are medians of the runs.\n\n",
        kProcessRuns, kPlanRuns, kPlanExchanges);
    std::printf("| %-58s | %-30s | %-18s |\n", "measure", "value", "target");
    std::printf("|%s|%s|%s|\n", QByteArray(60, '-').constData(), QByteArray(32, '-').constData(),
                QByteArray(20, '-').constData());

    const QStringList sendArguments = {QStringLiteral("send"),   QStringLiteral("--console"),
                                       QStringLiteral("loader"), QStringLiteral("--device"),
                                       device.devicePath(),      QStringLiteral("ABC")};
    const bool withPython = pythonSerialWorks();
    std::vector<double> sendTimes;
    std::vector<double> pythonTimes;
    for (int i = 0; i < kProcessRuns; ++i) {
        sendTimes.push_back(timedRun(command, sendArguments));
        if (withPython)
            pythonTimes.push_back(
                timedRun(python(), {QStringLiteral("-c"), QString::fromLatin1(kPythonExchanges),
                                    device.devicePath(), QStringLiteral("1")}));
    }
    const double send = median(sendTimes);
    row("rs232c send, Loader ACK EOT: whole process", ms(send), "(see ratio)");
    if (withPython) {
        const double script = median(pythonTimes);
        row("python3-serial script, same exchange: whole process", ms(script), "(reference)");
        row("  ratio rs232c send / python3-serial script",
            QStringLiteral("%1 x").arg(send / script, 0, 'f', 2), "<= 0.5 x");
    } else {
        row("python3-serial script, same exchange: whole process", "python3-serial not available",
            "(reference)");
    }

    const QString plan = writePlan(dir, device.devicePath());
    const QString log = dir.filePath(QStringLiteral("session.log"));
    // The gaps of every run pooled: this machine's noise moves one run's median by tens of
    // percent.
    std::vector<double> plainTotal, plainEach, loggedTotal, loggedEach;
    for (int i = 0; i < kPlanRuns; ++i) {
        const PlanRun plain = runPlan(plan, {});
        plainTotal.push_back(plain.totalMs);
        plainEach.insert(plainEach.end(), plain.gapsMs.begin(), plain.gapsMs.end());
        const PlanRun logged = runPlan(plan, {QStringLiteral("--log"), log});
        loggedTotal.push_back(logged.totalMs);
        loggedEach.insert(loggedEach.end(), logged.gapsMs.begin(), logged.gapsMs.end());
    }
    const double each = median(plainEach);
    const double eachLogged = median(loggedEach);
    row("Loader plan of 1000 exchanges (rs232c run): total", ms(median(plainTotal)), "(reference)");
    row("  per exchange (median)", ms(each), "<= 2 ms (tmpfs)");
    row("The same plan with --log: total", ms(median(loggedTotal)), "(reference)");
    row("  per exchange (median)", ms(eachLogged), "(reference)");
    row("  cost of the log per exchange (with / without)",
        QStringLiteral("%1 %").arg(100.0 * (eachLogged - each) / each, 0, 'f', 1), "<= 5%");
    const double work = logWorkMs(dir.filePath(QStringLiteral("work.log")));
    row("  the log's own work: line made and written (median)",
        QStringLiteral("%1 us, %2 % of an exchange")
            .arg(work * 1000, 0, 'f', 1)
            .arg(100.0 * work / each, 0, 'f', 1),
        "<= 5%");
    const double synced = syncedLineMs(dir.filePath(QStringLiteral("synced.log")));
    row("A log line written and fdatasync'ed in the exchange", ms(synced), "(why not)");
    row("  as a share of an exchange", QStringLiteral("%1 %").arg(100.0 * synced / each, 0, 'f', 0),
        "(why not)");

    std::printf("\nThe log's lines are written with one write(2) each before the next exchange; a\n"
                "thread of their own calls fdatasync (at most every 5 ms), so the exchange never\n"
                "waits for the disk. The last rows show what waiting would cost.\n");
    return 0;
}
