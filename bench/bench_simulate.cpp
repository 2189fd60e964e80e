// Prints one table of rs232c simulate's figures on a pty: how soon it answers a Loader frame as
// a python3-serial client sees it (from the client's frame leaving to the reply's first byte
// arriving), and what it costs while nobody talks to it. Figures only: nothing here passes or
// fails.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kFrames = 300;
constexpr int kIdleSeconds = 5;

// Frames after a warm-up, each answer timed from the frame's write to the first byte's read.
// The frame goes out through the port's own descriptor: Serial.write waits in a select after
// the bytes have left, and the answer would come during that wait, unseen by the clock.
const char* const kClient = R"(
import os, serial, sys, time
port = serial.Serial(sys.argv[1], 38400, timeout=2)
frame = bytes.fromhex('02414243433603')
warm_up, count = 20, int(sys.argv[2])
times = []
for i in range(warm_up + count):
    os.write(port.fd, frame)
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
    const QString outputFile = dir.filePath(QStringLiteral("simulate.out"));
    QProcess simulate;
    simulate.setStandardOutputFile(outputFile);
    simulate.start(QStringLiteral(RS232C_EXECUTABLE), {QStringLiteral("simulate")});
    if (!simulate.waitForStarted())
        qFatal("rs232c simulate did not start");
    QString path;
    for (int wait = 0; path.isEmpty() && wait < 500; ++wait) {
        QThread::msleep(10);
        QFile output(outputFile);
        const QByteArray line = output.open(QIODevice::ReadOnly) ? output.readLine() : QByteArray();
        if (line.endsWith('\n'))
            path = QString::fromUtf8(line).trimmed();
    }
    if (path.isEmpty())
        qFatal("rs232c simulate printed no pty path");

    std::printf("Machine: %s, %d cores; Qt %s\n",
                QSysInfo::prettyProductName().toUtf8().constData(), QThread::idealThreadCount(),
                qVersion());
    std::printf("rs232c simulate on a pty; %d Loader frames, idle for %d s.\n\n", kFrames,
                kIdleSeconds);
    std::printf("| %-46s | %-30s | %-26s |\n", "measure", "value", "target");
    std::printf("|%s|%s|%s|\n", QByteArray(48, '-').constData(), QByteArray(32, '-').constData(),
                QByteArray(28, '-').constData());

    QProcess python;
    // Debian's own interpreter, which python3-serial installs into.
    python.start(
        QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                              : QStringLiteral("python3"),
        {QStringLiteral("-c"), QString::fromLatin1(kClient), path, QString::number(kFrames)});
    const bool answered = python.waitForFinished(120000) && python.exitCode() == 0;
    const QList<QByteArray> parts = python.readAllStandardOutput().trimmed().split(' ');
    if (answered && parts.size() == 3)
        row("Answer time, frame end to first reply byte",
            QStringLiteral("%1 / %2 / %3 ms")
                .arg(parts[0].toDouble(), 0, 'f', 3)
                .arg(parts[1].toDouble(), 0, 'f', 3)
                .arg(parts[2].toDouble(), 0, 'f', 3)
                .toUtf8(),
            "median <= 0.2 ms");
    else
        row("Answer time, frame end to first reply byte",
            "failed: " + python.readAllStandardError().trimmed().left(22), "median <= 0.2 ms");

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

    simulate.terminate();
    simulate.waitForFinished();
    std::printf(
        "\nMedian / p99 / max. The client's clock runs from its write's return to its read's "
        "return,\n"
        "so the figure includes python3-serial's own read (a few microseconds); CPU time counts\n"
        "in clock ticks (%ld a second).\n",
        ::sysconf(_SC_CLK_TCK));
    return 0;
}
