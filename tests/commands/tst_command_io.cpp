// What the commands read and write besides the line, as a careless or hostile shell user hands it
// to them: plans and rules that are no regular file or too large, a log or report that is a pipe
// nobody reads or the plan itself, and a standard output that cannot be written.

#include "CommandProcess.h"
#include "device/SimulatedDevice.h"
#include "plans/InputFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

class TestCommandIo : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void refusedFiles_data();
    void refusedFiles();
    void aLogPipeWithAReaderGetsEveryLine();
    void aFailedOutputEndsWith74_data();
    void aFailedOutputEndsWith74();
    void aSignalEndsACommandHeldByItsOutput_data();
    void aSignalEndsACommandHeldByItsOutput();

private:
    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    QTemporaryDir m_dir;
    SimulatedDevice m_device;
    // Two steps on the test's device.
    const QByteArray m_plan = QStringLiteral(R"({"ports": {"1": "%1"}, "steps": [
        {"console": "loader", "message": "A"}, {"console": "loader", "message": "B"}]})")
                                  .arg(m_device.devicePath())
                                  .toUtf8();
};

void TestCommandIo::initTestCase()
{
    QFile plan(path("plan.json"));
    QVERIFY(plan.open(QIODevice::WriteOnly));
    plan.write(m_plan);
    plan.close();
    QVERIFY(QFile::link(path("plan.json"), path("link.json")));
    QCOMPARE(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    QFile big(path("big.json"));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(InputFile::kMaxBytes + 1));
}

void TestCommandIo::refusedFiles_data()
{
    QTest::addColumn<QStringList>("arguments"); // @name: a file of the test's folder
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("why");

    QTest::newRow("run: a named pipe as the plan")
        << QStringList{"run", "--demo", "@fifo"} << 66 << "fifo: a named pipe, not a regular file";
    QTest::newRow("run: /dev/zero as the plan")
        << QStringList{"run", "--demo", "/dev/zero"} << 66 << "/dev/zero: a device, not a";
    QTest::newRow("run: a plan over the limit")
        << QStringList{"run", "--demo", "@big.json"} << 66 << "big.json: more than 4 MiB";
    QTest::newRow("simulate: a named pipe as the rules")
        << QStringList{"simulate", "--rules", "@fifo"} << 66 << "fifo: a named pipe";
    QTest::newRow("send: a log that is a pipe nobody reads")
        << QStringList{"send", "--demo", "--console", "loader", "--log", "@fifo", "A"} << 73
        << "fifo: a named pipe that nobody reads";
    QTest::newRow("run: a report that is a pipe nobody reads")
        << QStringList{"run", "--demo", "--junit", "@fifo", "@plan.json"} << 73
        << "fifo: a named pipe that nobody reads";
    QTest::newRow("run: the report is the plan")
        << QStringList{"run", "--demo", "--junit", "@plan.json", "@plan.json"} << 64
        << "--junit names the plan itself";
    QTest::newRow("run: the log is the plan through a link")
        << QStringList{"run", "--demo", "--log", "@link.json", "@plan.json"} << 64
        << "--log names the plan itself";
}

// Refused at once, before anything is printed, with the plan left as it was.
void TestCommandIo::refusedFiles()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, why);
    for (QString& argument : arguments) {
        if (argument.startsWith('@'))
            argument = m_dir.filePath(argument.mid(1));
    }

    const CommandResult result = runCommand(arguments);
    QCOMPARE(result.status, status);
    QVERIFY2(result.err.contains(why.toUtf8()), result.err.constData());
    QCOMPARE(result.out, QByteArray());
    QFile plan(path("plan.json"));
    QVERIFY(plan.open(QIODevice::ReadOnly));
    QCOMPARE(plan.readAll(), m_plan);
}

// A pipe with a reader takes the log's lines as a file does (fdatasync refuses a pipe).
void TestCommandIo::aLogPipeWithAReaderGetsEveryLine()
{
    const int reader =
        ::open(QFile::encodeName(path("fifo")).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(reader >= 0);
    const CommandResult result = runCommand({"send", "--demo", "--console", "loader", "--json",
                                             "--repeat", "2", "--log", path("fifo"), "A"});
    QByteArray logged(4096, '\0');
    const ssize_t count = ::read(reader, logged.data(), size_t(logged.size()));
    ::close(reader);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.outLines().size(), 2);
    QCOMPARE(logged.first(std::max<ssize_t>(count, 0)), result.out);
}

void TestCommandIo::aFailedOutputEndsWith74_data()
{
    QTest::addColumn<QStringList>("arguments"); // @device: the test's simulated device
    QTest::addColumn<int>("frames");            // what reached the device before the end

    QTest::newRow("send stops after the exchange in progress")
        << QStringList{"send", "--device", "@device", "--console", "loader", "--repeat", "3", "A"}
        << 1;
    QTest::newRow("run stops after the step in progress")
        << QStringList{"run", "--json", "@plan.json"} << 1;
    QTest::newRow("a command's help") << QStringList{"ports", "--help"} << 0;
    QTest::newRow("the version") << QStringList{"--version"} << 0;
}

void TestCommandIo::aFailedOutputEndsWith74()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, frames);
    m_device.clearReceived();
    arguments.replaceInStrings("@device", m_device.devicePath());
    arguments.replaceInStrings("@plan.json", path("plan.json"));

    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    startCommand(process, arguments);
    const CommandResult result = resultOf(process);
    QCOMPARE(result.status, 74);
    QVERIFY2(result.err.contains("standard output cannot be written: No space left on device"),
             result.err.constData());
    QCOMPARE(m_device.frames().size(), frames);
}

void TestCommandIo::aSignalEndsACommandHeldByItsOutput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("signal");

    QTest::newRow("send, Ctrl+C") << QStringList{"send",     "--demo", "--console", "loader",
                                                 "--repeat", "100000", "A"}
                                  << SIGINT;
    QTest::newRow("simulate, SIGTERM: the link goes too")
        << QStringList{"simulate", "--noise", "1", "--link", "@link"} << SIGTERM;
}

// Standard output is a pipe whose reader stopped reading: the command waits in write(2), where
// its event loop never sees the signal, and still ends, with the signal's status.
void TestCommandIo::aSignalEndsACommandHeldByItsOutput()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, signal);
    const QString link = path("ttyHELD");
    arguments.replaceInStrings("@link", link);
    const QString pipe = path("held");
    QFile::remove(pipe);
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QFile reader;
    QVERIFY(reader.open(::open(QFile::encodeName(pipe).constData(), O_RDONLY | O_NONBLOCK),
                        QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));

    QProcess process;
    process.setStandardOutputFile(pipe);
    startCommand(process, arguments);
    // A full pipe, and the command inside a write to standard output.
    const int capacity = ::fcntl(reader.handle(), F_GETPIPE_SZ);
    const auto held = [&] {
        int queued = 0;
        ::ioctl(reader.handle(), FIONREAD, &queued);
        QFile call(QStringLiteral("/proc/%1/syscall").arg(process.processId()));
        return queued > capacity - 4096 && call.open(QIODevice::ReadOnly) &&
               call.readAll().startsWith(QByteArray::number(SYS_write) + " 0x1 ");
    };
    QTRY_VERIFY_WITH_TIMEOUT(held(), 60000);
    QCOMPARE(QFileInfo(link).isSymLink(), arguments.contains(link));
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 128 + signal);
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TestCommandIo)
#include "tst_command_io.moc"
