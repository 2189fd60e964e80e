// Prints one table of rs232c simulate's figures on a pty: how soon it answers a Loader frame as
// a python3-serial client sees it (from the client's frame leaving to the reply's first byte
// arriving), how evenly --split spaces a reply's bytes, and what it costs while nobody talks to
// it; then the same answer through rs232c monitor in the middle, and what the monitor costs
// while the line is quiet; then the answer time over the network (simulate --listen,
// python3-serial's rfc2217:// and socket:// clients) and how long such a client takes to
// connect. Figures only: nothing here passes or fails.

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kFrames = 300;
constexpr int kIdleSeconds = 5;
constexpr int kSplitMs = 20;
constexpr int kSplitFrames = 20;
constexpr int kConnects = 30;

// Frames after a warm-up, each answer timed from the frame's write to the first byte's read. On a
// pty the frame goes out through the port's own descriptor: Serial.write waits in a select after
// the bytes have left, and the answer would come during that wait, unseen by the clock. Over the
// network pyserial writes (its socket's send returns at once) and reads what its own reader
// hands it.
const char* const kClient = R"(
import os, serial, sys, time
port = serial.serial_for_url(sys.argv[1], 38400, timeout=2)
send = (lambda bytes: os.write(port.fd, bytes)) if hasattr(port, 'fd') else port.write
frame = bytes.fromhex('02414243433603')
warm_up, count = 20, int(sys.argv[2])
times = []
for i in range(warm_up + count):
    send(frame)
    sent = time.perf_counter()
    first = port.read(1)
    came = time.perf_counter()
    if first + port.read(1) != b'\x06\x04':
        sys.exit('no ACK EOT from simulate')
    if i >= warm_up:
        times.append((came - sent) * 1000)
times.sort()
print(times[len(times) // 2], times[min(len(times) - 1, int(len(times) * 0.99))], times[-1])
)";

// The gaps between the bytes of seven-byte replies sent one at a time, each timed from the read
// of the byte before: min, median and max. A late read of one byte shortens the next gap.
const char* const kSplitClient = R"(
import os, serial, sys, time
port = serial.Serial(sys.argv[1], 38400, timeout=2)
gaps = []
for i in range(int(sys.argv[2])):
    os.write(port.fd, bytes.fromhex('0541424304'))
    before = None
    for k in range(7):
        if not port.read(1):
            sys.exit('the split reply was cut short')
        now = time.perf_counter()
        if before is not None:
            gaps.append((now - before) * 1000)
        before = now
gaps.sort()
print(gaps[0], gaps[len(gaps) // 2], gaps[-1])
)";

// Connect times: serial_for_url until it returns an open port, which over RFC 2217 includes
// the settings it asks for and the server's answers. The pause between closing and the next
// open (untimed) lets the server see the last client go: it serves one at a time.
const char* const kConnectClient = R"(
import serial, sys, time
times = []
for i in range(int(sys.argv[2])):
    started = time.perf_counter()
    port = serial.serial_for_url(sys.argv[1], 38400, timeout=2)
    times.append((time.perf_counter() - started) * 1000)
    port.close()
    time.sleep(0.1)
times.sort()
print(times[len(times) // 2], times[min(len(times) - 1, int(len(times) * 0.99))], times[-1])
)";

// Starts an rs232c command with the arguments and returns its first line of output: simulate's
// pty path (with --listen the URL a client gives), monitor's start line.
QString startSimulate(QProcess& simulate, const QString& outputFile, const QStringList& options,
                      const QString& command = QStringLiteral("simulate"))
{
    simulate.setStandardOutputFile(outputFile);
    simulate.start(QStringLiteral(RS232C_EXECUTABLE), QStringList{command} + options);
    if (!simulate.waitForStarted())
        qFatal("rs232c %s did not start", qPrintable(command));
    for (int wait = 0; wait < 500; ++wait) {
        QThread::msleep(10);
        QFile output(outputFile);
        const QByteArray line = output.open(QIODevice::ReadOnly) ? output.readLine() : QByteArray();
        if (line.endsWith('\n'))
            return QString::fromUtf8(line).trimmed();
    }
    qFatal("rs232c %s printed no first line", qPrintable(command));
}

// Runs a client script against path; its one line of three figures, or empty when it failed.
QList<double> runClient(const char* script, const QString& path, int frames, QByteArray* failure)
{
    QProcess client;
    client.start(bench::python(), {QStringLiteral("-c"), QString::fromLatin1(script), path,
                                   QString::number(frames)});
    const bool ran = client.waitForFinished(120000) && client.exitCode() == 0;
    const QList<QByteArray> parts = client.readAllStandardOutput().trimmed().split(' ');
    if (!ran || parts.size() != 3) {
        *failure = "failed: " + client.readAllStandardError().trimmed().left(22);
        return {};
    }
    return {parts[0].toDouble(), parts[1].toDouble(), parts[2].toDouble()};
}

QByteArray figures(const QList<double>& values)
{
    return QStringLiteral("%1 / %2 / %3 ms")
        .arg(values[0], 0, 'f', 3)
        .arg(values[1], 0, 'f', 3)
        .arg(values[2], 0, 'f', 3)
        .toUtf8();
}

void row(const char* what, const QByteArray& value, const char* target)
{
    std::printf("| %-46s | %-30s | %-26s |\n", what, value.constData(), target);
}

// CPU seconds of every thread of a process so far, and its wake-ups (voluntary context
// switches), from /proc.
struct Usage {
    double cpuSeconds = 0;
    qint64 wakeUps = 0;
};

Usage usageOf(qint64 pid)
{
    Usage usage;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        // Fields after the command's closing parenthesis: utime and stime are the 12th and 13th.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        usage.cpuSeconds = (fields.value(11).toDouble() + fields.value(12).toDouble()) /
                           double(::sysconf(_SC_CLK_TCK));
    }
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(task + QStringLiteral("/status")));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                usage.wakeUps += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
    }
    return usage;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QProcess simulate;
    const QString path = startSimulate(simulate, dir.filePath(QStringLiteral("simulate.out")), {});

    std::printf("Machine: %s, %d cores; Qt %s\n",
                QSysInfo::prettyProductName().toUtf8().constData(), QThread::idealThreadCount(),
                qVersion());
    std::printf("rs232c simulate on a pty, then on loopback; %d Loader frames, %d split replies, "
                "idle for %d s.\n\n",
                kFrames, kSplitFrames, kIdleSeconds);
    std::printf("| %-46s | %-30s | %-26s |\n", "measure", "value", "target");
    std::printf("|%s|%s|%s|\n", QByteArray(48, '-').constData(), QByteArray(32, '-').constData(),
                QByteArray(28, '-').constData());

    QByteArray failure;
    const QList<double> answers = runClient(kClient, path, kFrames, &failure);
    row("Answer time, frame end to first reply byte",
        answers.isEmpty() ? failure : figures(answers), "median <= 0.2 ms");

    {
        QProcess split;
        const QString splitPath =
            startSimulate(split, dir.filePath(QStringLiteral("split.out")),
                          {QStringLiteral("--split"), QString::number(kSplitMs),
                           QStringLiteral("--reply"), QStringLiteral("hex:02414243433603")});
        const QList<double> gaps = runClient(kSplitClient, splitPath, kSplitFrames, &failure);
        row("Split reply (--split 20), gap between bytes", gaps.isEmpty() ? failure : figures(gaps),
            "median 20 ms");
        split.terminate();
        split.waitForFinished();
    }

    const Usage before = usageOf(simulate.processId());
    QThread::sleep(kIdleSeconds);
    const Usage after = usageOf(simulate.processId());
    row("CPU while idle",
        QByteArray::number(100 * (after.cpuSeconds - before.cpuSeconds) / kIdleSeconds, 'f', 2) +
            " % of a core",
        "well under 1% of a core");
    row("Wake-ups while idle (every thread)",
        QByteArray::number(double(after.wakeUps - before.wakeUps) / kIdleSeconds, 'f', 1) +
            " a second",
        "(no busy loop)");

    {
        QProcess monitor;
        const QString link = dir.filePath(QStringLiteral("ttyHOST"));
        startSimulate(monitor, dir.filePath(QStringLiteral("monitor.out")),
                      {QStringLiteral("--device"), path, QStringLiteral("--link"), link},
                      QStringLiteral("monitor"));
        const QList<double> through = runClient(kClient, link, kFrames, &failure);
        row("Answer time through rs232c monitor", through.isEmpty() ? failure : figures(through),
            "(reference)");
        if (!through.isEmpty() && !answers.isEmpty())
            row("  added by the monitor (median, p99)",
                QStringLiteral("%1 / %2 ms")
                    .arg(through[0] - answers[0], 0, 'f', 3)
                    .arg(through[1] - answers[1], 0, 'f', 3)
                    .toUtf8(),
                "a fraction of a ms");
        const Usage quietBefore = usageOf(monitor.processId());
        QThread::sleep(kIdleSeconds);
        const Usage quietAfter = usageOf(monitor.processId());
        row("Monitor CPU while the line is quiet",
            QByteArray::number(
                100 * (quietAfter.cpuSeconds - quietBefore.cpuSeconds) / kIdleSeconds, 'f', 2) +
                " % of a core",
            "well under 1% of a core");
        row("Monitor wake-ups while quiet (every thread)",
            QByteArray::number(double(quietAfter.wakeUps - quietBefore.wakeUps) / kIdleSeconds, 'f',
                               1) +
                " a second",
            "(no busy loop)");
        monitor.terminate();
        monitor.waitForFinished();
    }

    simulate.terminate();
    simulate.waitForFinished();

    for (const char* listen : {"rfc2217:0", "tcp:0"}) {
        QProcess server;
        const QString url = startSimulate(server, dir.filePath(QStringLiteral("listen.out")),
                                          {QStringLiteral("--listen"), QLatin1String(listen)})
                                .replace(QLatin1String("tcp://"), QLatin1String("socket://"));
        const QByteArray scheme = url.section(QLatin1Char(':'), 0, 0).toUtf8();
        const QList<double> connects = runClient(kConnectClient, url, kConnects, &failure);
        row(QByteArray("Connect time, python3-serial " + scheme + "://").constData(),
            connects.isEmpty() ? failure : figures(connects), "(reference)");
        const QList<double> network = runClient(kClient, url, kFrames, &failure);
        row(QByteArray("Answer time over " + scheme + "://").constData(),
            network.isEmpty() ? failure : figures(network), "median <= 1 ms");
        server.terminate();
        server.waitForFinished();
    }

    std::printf(
        "\nAnswer and connect times: median / p99 / max (connects: %d of each); split gaps: min /\n"
        "median / max. The client's clock runs from its write's return to its read's return,\n"
        "so the figure includes python3-serial's own read (a few microseconds); CPU time counts\n"
        "in clock ticks (%ld a second).\n",
        kConnects, ::sysconf(_SC_CLK_TCK));
    return 0;
}
