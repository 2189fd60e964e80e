#pragma once
// What the benchmark programs share: Debian's python3 (python3-serial's interpreter), the
// python3-serial exchange they measure the program against, medians, the rows of their tables
// and the time of a whole process.

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

// Debian's own interpreter, which python3-serial installs into.
inline QString python()
{
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3"))
               ? QStringLiteral("/usr/bin/python3")
               : QStringLiteral("python3");
}

// The Loader exchange by python3-serial, each run with its own connection: open, the frame, the
// reply up to EOT, close. Arguments: a device path or a pyserial URL, and the number of runs.
// Prints each run's time in ms on one line, blank-separated; exits 1 when a reply is not ACK EOT.
inline constexpr char kPythonExchanges[] = R"(
import serial, sys, time
url, runs = sys.argv[1], int(sys.argv[2])
times = []
for _ in range(runs):
    start = time.perf_counter()
    s = serial.serial_for_url(url, 38400, timeout=1)
    s.write(bytes.fromhex('02414243433603'))
    reply = b''
    while not reply.endswith(b'\x04'):
        c = s.read(1)
        if not c:
            break
        reply += c
    s.close()
    if reply != b'\x06\x04':
        sys.exit(1)
    times.append((time.perf_counter() - start) * 1000)
print(' '.join(str(t) for t in times))
)";

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

inline void row(const char* what, const QString& value, const char* target)
{
    std::printf("| %-58s | %-30s | %-18s |\n", what, value.toUtf8().constData(), target);
}

inline QString ms(double value, int decimals = 3)
{
    return QStringLiteral("%1 ms").arg(value, 0, 'f', decimals);
}

// Start to exit of one process, in ms, its output thrown away; it must end with status 0.
// posix_spawn and waitpid add the least of their own to what is measured.
inline double timedRun(const QString& program, const QStringList& arguments)
{
    std::vector<QByteArray> strings{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        strings.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& string : strings)
        argv.push_back(string.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0 ||
        waitpid(pid, &status, 0) != pid)
        qFatal("cannot run %s", argv[0]);
    const double elapsed = clock.nsecsElapsed() / 1e6;
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        qFatal("%s %s: status %d", qPrintable(program), qPrintable(arguments.join(' ')), status);
    return elapsed;
}

} // namespace bench
