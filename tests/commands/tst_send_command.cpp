// rs232c send as a whole process against a simulated device on a pty, with no display: the
// console's frame on the line, the exit status of each reply class and of a port failure, what a
// refused command line leaves alone, the log's lines, and a signal mid-exchange.

#include "CommandProcess.h"
#include "HexBytes.h"
#include "PtyPair.h"
#include "device/SimulatedDevice.h"
#include "serial/PortMap.h"
#include "serial/SerialControl.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

class TestSendCommand : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void exitStatusOfEachReply_data();
    void exitStatusOfEachReply();
    void refusedCommandLinesSendNothing_data();
    void refusedCommandLinesSendNothing();
    void logLinesHoldTheExactBytes();
    void aSignalClosesThePortAndReleasesItsLock_data();
    void aSignalClosesThePortAndReleasesItsLock();

private:
    QStringList onDevice(const QStringList& arguments) const
    {
        return QStringList{"send", "--device", m_device.devicePath()} + arguments;
    }

    SimulatedDevice m_device;
    std::atomic<int> m_answered = 0; // frames the device has dealt with, its reply on the line
};

void TestSendCommand::initTestCase()
{
    m_device.setObserver([this](const SimulatedDevice::Event&) { ++m_answered; });
}

void TestSendCommand::init()
{
    m_device.setBehaviour({});
    m_device.clearReceived();
    m_answered = 0;
}

void TestSendCommand::exitStatusOfEachReply_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reply"); // as --demo-reply takes it
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("exchanges");

    QTest::newRow("loader ACK") << QStringList{"--console", "loader", "ABC"} << "protocol" << 0
                                << "ACK" << hex("02414243433603") << 1;
    QTest::newRow("loader nothing") << QStringList{"--console", "loader", "--hex", "41 42"}
                                    << "silent" << 2 << "Non Response" << hex("024142383303") << 1;
    QTest::newRow("dedicated NAK") << QStringList{"--console", "dedicated", "--bcc", "R01"} << "nak"
                                   << 1 << "NAK" << hex("05523031044243") << 1;
    QTest::newRow("dedicated nothing")
        << QStringList{"--console", "dedicated", "--port", "2", "--baud", "9600", "X"} << "silent"
        << 2 << "None" << hex("055804") << 1;
    QTest::newRow("userdef other reply")
        << QStringList{"--console", "userdef", "--header", "STX(02)", "--tail", "NONE", "1"}
        << "hex:41" << 3 << "Error" << hex("02313331") << 1;
    QTest::newRow("loader, a framed reply with wrong digits")
        << QStringList{"--console", "loader", "ABC"} << "hex:0241424343370304" << 3
        << "Error  reply check bad" << hex("02414243433603") << 1;
    QTest::newRow("repeat, every reply ACK")
        << QStringList{"--console", "loader", "--repeat", "3", "ABC"} << "protocol" << 0 << "ACK"
        << hex("02414243433603") << 3;
    QTest::newRow("repeat, NAK") << QStringList{"--console",  "dedicated", "--repeat", "2",
                                                "--interval", "5",         "X"}
                                 << "nak" << 1 << "NAK" << hex("055804") << 2;
}

// The frame on the line is the console's, and the status follows the reply's class.
void TestSendCommand::exitStatusOfEachReply()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, reply);
    QFETCH(int, status);
    QFETCH(QString, word);
    QFETCH(QByteArray, frame);
    QFETCH(int, exchanges);

    SimulatedDevice::Behaviour behaviour;
    QVERIFY(SimulatedDevice::parseMode(reply, &behaviour));
    m_device.setBehaviour(behaviour);
    const CommandResult result = runCommand(onDevice(arguments));
    QCOMPARE(result.status, status);
    QVERIFY2(result.err.isEmpty(), result.err.constData());
    QCOMPARE(m_device.frames(), QList<QByteArray>(exchanges, frame));
    const QStringList lines = result.outLines();
    QCOMPARE(lines.size(), exchanges);
    for (const QString& line : lines) {
        QVERIFY2(line.startsWith(QString::fromLatin1(frame.toHex().toUpper()) + ' '),
                 qPrintable(line));
        QVERIFY2(line.contains("  " + word + "  "), qPrintable(line));
    }
}

void TestSendCommand::refusedCommandLinesSendNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("named"); // what standard error must name

    QTest::newRow("no console") << QStringList{"ABC"} << 64 << "--console";
    QTest::newRow("unknown console") << QStringList{"--console", "loadr", "ABC"} << 64 << "loadr";
    QTest::newRow("no message") << QStringList{"--console", "loader"} << 64 << "MESSAGE";
    QTest::newRow("unlisted rate")
        << QStringList{"--console", "dedicated", "--baud", "4800", "X"} << 64 << "4800";
    QTest::newRow("port 3") << QStringList{"--console", "dedicated", "--port", "3", "X"} << 64
                            << "--port";
    QTest::newRow("bcc on the loader")
        << QStringList{"--console", "loader", "--bcc", "X"} << 64 << "--bcc";
    QTest::newRow("no hex digit") << QStringList{"--console", "loader", "--hex", "4G"} << 64 << "G";
    QTest::newRow("unreadable header")
        << QStringList{"--console", "userdef", "--header", "STX", "X"} << 64 << "--header";
    QTest::newRow("repeat 0") << QStringList{"--console", "loader", "--repeat", "0", "X"} << 64
                              << "--repeat";
    QTest::newRow("repeat past a plan's limit")
        << QStringList{"--console", "loader", "--repeat", "2147483648", "X"} << 64
        << "--repeat: a whole number from 1 to 1000000 expected";
    QTest::newRow("demo and a device")
        << QStringList{"--demo", "--console", "loader", "X"} << 64 << "--device";
    QTest::newRow("log that cannot be opened")
        << QStringList{"--log", "/nonexistent/rs232c.log", "--console", "loader", "X"} << 73
        << "/nonexistent/rs232c.log";
}

void TestSendCommand::refusedCommandLinesSendNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, named);

    const CommandResult result = runCommand(onDevice(arguments));
    QCOMPARE(result.status, status);
    QVERIFY2(result.err.contains(named.toUtf8()), result.err.constData());
    QVERIFY(result.out.isEmpty());
    // Whatever the command wrote is on the line before this mark.
    const QByteArray mark = "mark";
    const int line = ::open(QFile::encodeName(m_device.devicePath()).constData(),
                            O_WRONLY | O_NOCTTY | O_CLOEXEC);
    QVERIFY(line >= 0);
    writeAll(line, mark);
    ::close(line);
    QTRY_COMPARE(m_device.frames(), QList<QByteArray>{mark});
    QCOMPARE(m_device.received(), mark);
}

// The log is appended to, one line per exchange, each the same object --json prints, with the
// bytes exactly as they were on the line (NUL, CR LF and 0xFF included).
void TestSendCommand::logLinesHoldTheExactBytes()
{
    const QByteArray reply = hex("0600FF0D0A04");
    m_device.setBehaviour({SimulatedDevice::Mode::Bytes, reply, 0});
    QTemporaryDir dir;
    const QString logPath = dir.filePath("session.log");
    QFile earlier(logPath);
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("an earlier session\n");
    earlier.close();

    // The device named as people say it, under /dev; the records hold the path that was opened.
    QVERIFY(m_device.devicePath().startsWith("/dev/"));
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const CommandResult result =
        runCommand({"send", "--device", m_device.devicePath().mid(5), "--console", "loader",
                    "--json", "--log", logPath, "--repeat", "2", "--hex", "00FF"});
    const QDateTime after = QDateTime::currentDateTimeUtc();
    QCOMPARE(result.status, 0);

    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray content = log.readAll();
    QVERIFY(content.startsWith("an earlier session\n"));
    const QByteArray lines = content.mid(qsizetype(strlen("an earlier session\n")));
    QCOMPARE(lines, result.out);
    const QList<QJsonObject> records = jsonObjects(lines);
    QCOMPARE(records.size(), 2);
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QJsonObject& record = records[i];
        QCOMPARE(record["frame_hex"].toString().toLatin1(),
                 m_device.frames().at(i).toHex().toUpper());
        QCOMPARE(record["frame_hex"].toString(), "0200FF464603");
        QCOMPARE(record["reply_hex"].toString().toLatin1(), reply.toHex().toUpper());
        QCOMPARE(record["console"].toString(), "loader");
        QCOMPARE(record["device"].toString(), m_device.devicePath());
        QCOMPARE(record["settings"].toString(), "38400,n,8,1");
        QCOMPARE(record["class"].toString(), "ack");
        QCOMPARE(record["word"].toString(), "ACK");
        // Each byte took a poll, after the polls that came due (1 ms each) before the first one
        // was read: none when the reply is read at once, more on a busy machine.
        const int emptyPolls = record["polls"].toInt() - int(reply.size());
        QVERIFY(emptyPolls >= 0 && emptyPolls * 1000 <= record["latency_us"].toInteger());
        QVERIFY(!record.contains("error"));
        const qint64 latency = record["latency_us"].toInteger(-1);
        QVERIFY(latency > 0 && latency <= record["window_us"].toInteger());
        const QString time = record["time"].toString();
        QVERIFY2(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z$)")
                     .match(time)
                     .hasMatch(),
                 qPrintable(time));
        const QDateTime at = QDateTime::fromString(time.left(23) + 'Z', Qt::ISODateWithMs);
        QVERIFY(at >= before.addMSecs(-1) && at <= after);
    }
}

void TestSendCommand::aSignalClosesThePortAndReleasesItsLock_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("status");
    QTest::newRow("SIGINT") << SIGINT << 130;
    QTest::newRow("SIGTERM") << SIGTERM << 143;
}

// Mid-window (1000 polls of User Define), what came so far is printed and the port is closed.
void TestSendCommand::aSignalClosesThePortAndReleasesItsLock()
{
    QFETCH(int, signal);
    QFETCH(int, status);
    m_device.setBehaviour({SimulatedDevice::Mode::Bytes, "AB", 0});
    // Opened before the command takes the device for itself, to see what it has not read yet.
    QFile line;
    QVERIFY(line.open(::open(QFile::encodeName(m_device.devicePath()).constData(),
                             O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC),
                      QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    const auto unread = [&line] {
        int count = -1;
        ::ioctl(line.handle(), FIONREAD, &count);
        return count;
    };
    const QString lock = lockFileOf(m_device.devicePath());
    QProcess process;
    startCommand(process, onDevice({"--console", "userdef", "--json", "XYZ"}));
    QTRY_VERIFY(QFile::exists(lock) && m_answered > 0);
    // The program has read the reply off the line.
    QTRY_COMPARE(unread(), 0);
    ::kill(pid_t(process.processId()), signal);
    const CommandResult result = resultOf(process);

    QCOMPARE(result.status, status);
    QVERIFY(!QFile::exists(lock));
    const QList<QJsonObject> records = result.jsonLines();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records[0]["class"].toString(), "interrupted");
    // Taken a byte a poll: the signal may overtake the polls that take the last bytes read.
    const QString reply = records[0]["reply_hex"].toString();
    QVERIFY2(QStringLiteral("4142").startsWith(reply), qPrintable(reply));
    QVERIFY(records[0]["polls"].toInt() < 1000);
    QVERIFY(records[0]["error"].toString().contains(signal == SIGINT ? "SIGINT" : "SIGTERM"));

    // Nobody holds the device any more.
    PortMap::setDevice(1, m_device.devicePath());
    SerialControl port;
    port.setPortOpen(true);
    QVERIFY(port.portOpen());
    port.setPortOpen(false);
    PortMap::setDevice(1, {});
}

QTEST_GUILESS_MAIN(TestSendCommand)
#include "tst_send_command.moc"
