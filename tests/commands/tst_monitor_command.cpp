// rs232c monitor: how it reads a conversation (frames, checks, pairings, gaps) in virtual time,
// and the built executable in the middle of a pty line, with python3-serial or rs232c send as
// the host and the far end of a pty or rs232c simulate as the device.

#include "CommandProcess.h"
#include "HexBytes.h"
#include "PtyPair.h"
#include "commands/Conversation.h"
#include "commands/MonitorForwarder.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kPatientMs = 10000;

using std::chrono::microseconds;

// The reader's events in a few words: "host loader ok", "device ack + ack 400", "+ none".
QString describe(const MonitorEvent& event)
{
    QString text;
    if (event.frame) {
        text = event.frame->side == MonitorSide::Host ? QStringLiteral("host ")
                                                      : QStringLiteral("device ");
        text += event.frame->form;
        if (event.frame->right)
            text += *event.frame->right ? QStringLiteral(" ok") : QStringLiteral(" bad");
    }
    if (event.record) {
        text += text.isEmpty() ? QStringLiteral("+ ") : QStringLiteral(" + ");
        text += event.record->className();
        if (event.record->latency)
            text += QStringLiteral(" %1").arg(event.record->latency->count());
    }
    return text;
}

// A client nobody here wrote: python3-serial as the host, writing bytes then reading a count.
const char* const kHost = R"(
import serial, sys, time
port = serial.Serial(sys.argv[1], 38400, timeout=0)
port.write(bytes.fromhex(sys.argv[2]))
port.flush()
want = int(sys.argv[3])
got = b''
end = time.monotonic() + 20
while len(got) < want and time.monotonic() < end:
    port.timeout = max(0, end - time.monotonic())
    got += port.read(want - len(got))
print(got.hex().upper() or '-')
)";

// A host that opens the pty and reads nothing until told to on standard input, then reads until
// the line is quiet and prints how many bytes it got.
const char* const kSlowHost = R"(
import serial, sys
port = serial.Serial(sys.argv[1], 38400, timeout=2)
print('open', flush=True)
sys.stdin.readline()
count = 0
while True:
    got = port.read(65536)
    if not got:
        break
    count += len(got)
print(count, flush=True)
)";

QString python()
{
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3"))
               ? QStringLiteral("/usr/bin/python3")
               : QStringLiteral("python3");
}

// One run of rs232c monitor, started and waited for until it says where it is.
class Monitor {
public:
    explicit Monitor(const QStringList& options)
    {
        startCommand(m_process, QStringList{QStringLiteral("monitor")} + options);
        while (!m_process.canReadLine() && m_process.waitForReadyRead(kPatientMs)) {
        }
        m_start = m_process.readLine();
    }
    ~Monitor()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    QByteArray start() const { return m_start; }
    // The next line of standard output, waited for.
    QByteArray nextLine()
    {
        while (!m_process.canReadLine() && m_process.waitForReadyRead(kPatientMs)) {
        }
        return m_process.readLine();
    }
    // Standard error so far.
    QByteArray errors()
    {
        m_errors += m_process.readAllStandardError();
        return m_errors;
    }
    CommandResult interrupt()
    {
        ::kill(pid_t(m_process.processId()), SIGINT);
        CommandResult result = resultOf(m_process);
        result.err.prepend(m_errors);
        return result;
    }

private:
    QProcess m_process;
    QByteArray m_start;
    QByteArray m_errors;
};

// rs232c monitor in the middle of a pty line: the test plays the device at the pty's far end, and
// the host's pty is at link.
struct MonitorOnALine {
    PtyPair device;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyHOST"));
    Monitor monitor{
        {QStringLiteral("--device"), device.devicePath(), QStringLiteral("--link"), link}};
};

QByteArray allBytes(qsizetype size)
{
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 256) & 0xFF);
    return bytes;
}

} // namespace

class TestMonitorCommand : public QObject {
    Q_OBJECT

private slots:
    void readsConversation_data();
    void readsConversation();
    void gapOfLine_data();
    void gapOfLine();
    void passesEveryByte_data();
    void passesEveryByte();
    void recognisesExchanges_data();
    void recognisesExchanges();
    void outlivesItsEnds();
    void boundsWhatAHostLeavesUnread();
    void listensBeside();
    void followsHostSettings_data();
    void followsHostSettings();
    void exitStatuses_data();
    void exitStatuses();
};

void TestMonitorCommand::readsConversation_data()
{
    // script: "h0:HEX" the host's bytes at 0 µs, "d400:HEX" the device's at 400 µs, "q2000" the
    // gap's timer at 2000 µs; the reader finishes after the script. The gap is 1000 µs.
    QTest::addColumn<QString>("console");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("events");
    const auto row = [](const char* name, const char* console, const char* script,
                        const QStringList& events) {
        QTest::newRow(name) << QString::fromLatin1(console) << QString::fromLatin1(script)
                            << events;
    };
    row("Loader frame and reply", "any", "h0:02414243433603 d400:0604",
        {"host loader ok", "device ack + ack 400"});
    row("Loader frame in pieces ends at its ETX", "loader",
        "h0:0241 h100:42434336 h200:03 d700:0604", {"host loader ok", "device ack + ack 500"});
    row("Loader frame with a wrong check", "any", "h0:02414243303003 d300:1504",
        {"host loader bad", "device nak + nak 300"});
    row("Dedicated frame ended by the gap", "any", "h0:0548454C4C4F043744 q2000 d5000:06",
        {"host dedicated ok", "device ack + ack 5000"});
    row("Dedicated frame ended by the device speaking", "dedicated", "h0:0558595A04 d300:06",
        {"host dedicated ok", "device ack + ack 300"});
    row("an unanswered frame", "any", "h0:02414243433603 h5000:02414243433603 d5200:0604",
        {"host loader ok", "+ none", "host loader ok", "device ack + ack 200"});
    row("a frame left unanswered at the end", "any", "h0:02414243433603",
        {"host loader ok", "+ none"});
    row("two replies in one chunk, nothing asked", "any", "d0:06040604",
        {"device ack", "device ack"});
    row("bytes of no form, above 127 too", "any", "d0:80FFFE00", {"device other"});
    row("bytes after a gap start a new frame", "any", "d0:4142 d3000:4344",
        {"device other", "device other"});
    row("User Define frame", "userdef", "h0:05414243044336 d300:15",
        {"host userdef ok", "device nak + nak 300"});
    row("User Define frame with a wrong check", "userdef", "h0:05414243044337",
        {"host userdef bad", "+ none"});
    row("the Loader console reads no Dedicated frame", "loader", "h0:0558595A04 d300:06",
        {"host other", "device ack + ack 300"});
}

void TestMonitorCommand::readsConversation()
{
    QFETCH(QString, console);
    QFETCH(QString, script);
    QFETCH(QStringList, events);
    MonitorForms forms;
    forms.consoles = *MonitorForms::consolesFromName(console);
    ConversationReader reader(forms, microseconds(1000), QStringLiteral("/dev/ttyS0"));
    const MonitorFrame::Time start{};
    for (const QString& step : script.split(QLatin1Char(' '))) {
        const QStringList parts = step.mid(1).split(QLatin1Char(':'));
        const MonitorFrame::Time at = start + microseconds(parts[0].toLongLong());
        if (step.startsWith(QLatin1Char('q')))
            reader.closeQuiet(at);
        else
            reader.take(step.startsWith(QLatin1Char('h')) ? MonitorSide::Host : MonitorSide::Device,
                        at, QByteArray::fromHex(parts[1].toLatin1()));
    }
    reader.finish();
    QStringList seen;
    for (const MonitorEvent& event : reader.takeEvents())
        seen << describe(event);
    QCOMPARE(seen, events);
    QVERIFY(!reader.quietAt());
}

void TestMonitorCommand::gapOfLine_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<qint64>("microseconds");
    QTest::newRow("fast: at least 1 ms") << "38400,n,8,1" << qint64(1000);
    QTest::newRow("parity and two stop bits count") << "9600,e,7,2" << qint64(2292);
    QTest::newRow("slow") << "1200,n,8,1" << qint64(16667);
}

void TestMonitorCommand::gapOfLine()
{
    QFETCH(QString, settings);
    QFETCH(qint64, microseconds);
    QCOMPARE(MonitorForwarder::gapOf(settings).count(), microseconds);
}

void TestMonitorCommand::passesEveryByte_data()
{
    QTest::addColumn<QByteArray>("toDevice");
    QTest::addColumn<QByteArray>("toHost");
    QTest::newRow("a Loader exchange") << hex("02414243433603") << hex("0604");
    QTest::newRow("bytes above 127") << hex("80FEFF7F00C3A9") << hex("FFFE8081");
    QTest::newRow("a long burst each way") << allBytes(24 * 1024) << allBytes(20 * 1024);
}

void TestMonitorCommand::passesEveryByte()
{
    QFETCH(QByteArray, toDevice);
    QFETCH(QByteArray, toHost);
    MonitorOnALine line;
    auto& [device, dir, link, monitor] = line;
    QVERIFY2(monitor.start().contains(" start "), monitor.start().constData());

    QProcess host;
    host.start(python(), {QStringLiteral("-c"), QString::fromLatin1(kHost), link,
                          QString::fromLatin1(toDevice.toHex()), QString::number(toHost.size())});
    QCOMPARE(device.read(toDevice.size(), kPatientMs).toHex(), toDevice.toHex());
    device.write(toHost);
    QVERIFY(host.waitForFinished(30000));
    QCOMPARE(host.readAllStandardOutput().trimmed(), toHost.toHex().toUpper());

    const CommandResult result = monitor.interrupt();
    QCOMPARE(result.status, 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestMonitorCommand::recognisesExchanges_data()
{
    QTest::addColumn<QStringList>("monitorOptions");
    QTest::addColumn<QStringList>("sendOptions");
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("replyClass");
    QTest::newRow("Loader") << QStringList{} << QStringList{"--console", "loader", "ABC"}
                            << "loader"
                            << "ok"
                            << "ack";
    QTest::newRow("Dedicated with check")
        << QStringList{"--console", "dedicated"}
        << QStringList{"--console", "dedicated", "--bcc", "HELLO"} << "dedicated"
        << "ok"
        << "ack";
    QTest::newRow("User Define read as one")
        << QStringList{"--console", "userdef"} << QStringList{"--console", "userdef", "ABC"}
        << "userdef"
        << "ok"
        << "nak";
    QTest::newRow("User Define read as Dedicated")
        << QStringList{} << QStringList{"--console", "userdef", "ABC"} << "dedicated"
        << "bad"
        << "nak";
}

void TestMonitorCommand::recognisesExchanges()
{
    QFETCH(QStringList, monitorOptions);
    QFETCH(QStringList, sendOptions);
    QFETCH(QString, form);
    QFETCH(QString, check);
    QFETCH(QString, replyClass);
    QTemporaryDir dir;
    const QString deviceLink = dir.filePath(QStringLiteral("ttyDEVICE"));
    const QString hostLink = dir.filePath(QStringLiteral("ttyHOST"));
    const QString log = dir.filePath(QStringLiteral("session.log"));
    QProcess simulate;
    startCommand(simulate, {QStringLiteral("simulate"), QStringLiteral("--link"), deviceLink});
    QVERIFY(simulate.waitForReadyRead(kPatientMs));
    Monitor monitor(QStringList{QStringLiteral("--device"), deviceLink, QStringLiteral("--link"),
                                hostLink, QStringLiteral("--json"), QStringLiteral("--log"), log} +
                    monitorOptions);
    QVERIFY2(monitor.start().contains("\"start\""), monitor.start().constData());

    const CommandResult sent = runCommand(
        QStringList{QStringLiteral("send"), QStringLiteral("--device"), hostLink} + sendOptions);
    QCOMPARE(sent.status, replyClass == QLatin1String("ack") ? 0 : 1);
    const CommandResult result = monitor.interrupt();
    simulate.kill();
    simulate.waitForFinished();
    QCOMPARE(result.status, 0);

    const QList<QJsonObject> lines = result.jsonLines();
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0].value("direction").toString(), QStringLiteral("host"));
    QCOMPARE(lines[0].value("form").toString(), form);
    QCOMPARE(lines[0].value("check").toString(), check);
    QCOMPARE(lines[1].value("direction").toString(), QStringLiteral("device"));
    QCOMPARE(lines[2].value("event").toString(), QStringLiteral("exchange"));
    QCOMPARE(lines[2].value("class").toString(), replyClass);
    QCOMPARE(lines[2].value("frame_hex").toString(), lines[0].value("bytes").toString());
    QCOMPARE(lines[2].value("reply_hex").toString(), lines[1].value("bytes").toString());
    QVERIFY(lines[2].value("latency_us").toInteger(-1) >= 0);
    QVERIFY2(result.err.contains("exchanges 1 (" + replyClass.toLatin1() + " 1)"),
             result.err.constData());

    QFile logFile(log);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    const QList<QJsonObject> logged = jsonObjects(logFile.readAll());
    QCOMPARE(logged.size(), 1);
    QCOMPARE(logged[0].value("class").toString(), replyClass);
    QCOMPARE(logged[0].value("time"), lines[2].value("time"));
    QVERIFY(!QFileInfo(hostLink).isSymLink());
}

void TestMonitorCommand::outlivesItsEnds()
{
    MonitorOnALine line;
    auto& [device, dir, link, monitor] = line;
    QVERIFY2(monitor.start().contains(" start "), monitor.start().constData());
    // One host after another on the same pty: it stays for the next.
    for (const QByteArray& bytes : {hex("0241"), hex("0242")}) {
        QProcess host;
        host.start(python(), {QStringLiteral("-c"), QString::fromLatin1(kHost), link,
                              QString::fromLatin1(bytes.toHex()), QStringLiteral("1")});
        QCOMPARE(device.read(bytes.size(), kPatientMs), bytes);
        device.write(hex("15"));
        QVERIFY(host.waitForFinished(30000));
        QCOMPARE(host.readAllStandardOutput().trimmed(), QByteArray("15"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(monitor.errors().contains("the host closed"), kPatientMs);
    device.closeFarEnd();
    QTRY_VERIFY_WITH_TIMEOUT(monitor.errors().contains("tried again every 1 s"), kPatientMs);

    const CommandResult result = monitor.interrupt();
    QCOMPARE(result.status, 0);
    QVERIFY2(result.err.count("tried again") == 1, result.err.constData());
    QVERIFY2(result.err.contains("frames host> 2 <device 2, exchanges 2 (nak 2)"),
             result.err.constData());
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestMonitorCommand::boundsWhatAHostLeavesUnread()
{
    MonitorOnALine line;
    auto& [device, dir, link, monitor] = line;
    QVERIFY2(monitor.start().contains(" start "), monitor.start().constData());
    QProcess host;
    host.start(python(), {QStringLiteral("-c"), QString::fromLatin1(kSlowHost), link});
    QVERIFY(host.waitForReadyRead(kPatientMs));
    QCOMPARE(host.readLine().trimmed(), QByteArray("open"));

    // The device chatters 2 MiB at a host that holds the pty and reads none of it: the monitor
    // keeps at most 1 MiB for it, says so once, and passes the rest on when the host reads.
    const QByteArray chunk = allBytes(64 * 1024);
    for (int i = 0; i < 32; ++i)
        device.write(chunk);
    QTRY_VERIFY_WITH_TIMEOUT(monitor.errors().contains("the host has not read"), kPatientMs);
    host.write("go\n");
    QVERIFY(host.waitForFinished(60000));
    const qint64 got = host.readAllStandardOutput().trimmed().toLongLong();
    QVERIFY2(got >= (1 << 20) && got < 2 * (1 << 20), QByteArray::number(got).constData());
    QTRY_VERIFY_WITH_TIMEOUT(monitor.errors().contains("bytes from the device were dropped"),
                             kPatientMs);
    QCOMPARE(monitor.interrupt().status, 0);
}

void TestMonitorCommand::listensBeside()
{
    PtyPair hostSide;
    PtyPair deviceSide;
    Monitor monitor({QStringLiteral("--listen-a"), hostSide.devicePath(),
                     QStringLiteral("--listen-b"), deviceSide.devicePath(),
                     QStringLiteral("--settings"), QStringLiteral("19200,n,8,1"),
                     QStringLiteral("--json")});
    QVERIFY2(monitor.start().contains("\"listen_a\""), monitor.start().constData());
    QCOMPARE(deviceSide.lineState().summary(), QStringLiteral("8N1 at 19200"));

    hostSide.write(hex("02414243433603"));
    const QJsonObject frame = jsonObjects(monitor.nextLine()).value(0);
    QCOMPARE(frame.value("direction").toString(), QStringLiteral("host"));
    QCOMPARE(frame.value("form").toString(), QStringLiteral("loader"));
    deviceSide.write(hex("1504"));
    const QJsonObject reply = jsonObjects(monitor.nextLine()).value(0);
    QCOMPARE(reply.value("direction").toString(), QStringLiteral("device"));
    const QJsonObject pairing = jsonObjects(monitor.nextLine()).value(0);
    QCOMPARE(pairing.value("class").toString(), QStringLiteral("nak"));
    QCOMPARE(pairing.value("settings").toString(), QStringLiteral("19200,n,8,1"));

    const CommandResult result = monitor.interrupt();
    QCOMPARE(result.status, 0);
    QVERIFY2(result.err.contains("frames host> 1 <device 1, exchanges 1 (nak 1)"),
             result.err.constData());
}

void TestMonitorCommand::followsHostSettings_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<bool>("twoStopBits");
    QTest::addColumn<QString>("expected");
    QTest::newRow("19200") << 19200 << false << "8N1 at 19200";
    QTest::newRow("9600, two stop bits") << 9600 << true << "8N2 at 9600";
    QTest::newRow("a rate of no Bnnn constant") << 56000 << false << "8N1 at 56000";
}

void TestMonitorCommand::followsHostSettings()
{
    QFETCH(int, baud);
    QFETCH(bool, twoStopBits);
    QFETCH(QString, expected);
    MonitorOnALine line;
    auto& [device, dir, link, monitor] = line;
    QVERIFY2(monitor.start().contains(" start "), monitor.start().constData());
    QTRY_COMPARE(device.lineState().summary(), QStringLiteral("8N1 at 38400"));

    QSerialPort host(QFileInfo(link).symLinkTarget());
    QVERIFY2(host.open(QIODevice::ReadWrite), qPrintable(host.errorString()));
    QVERIFY(host.setBaudRate(baud));
    QVERIFY(host.setStopBits(twoStopBits ? QSerialPort::TwoStop : QSerialPort::OneStop));
    QTRY_COMPARE_WITH_TIMEOUT(device.lineState().summary(), expected, kPatientMs);
    host.close();
    QCOMPARE(monitor.interrupt().status, 0);
}

void TestMonitorCommand::exitStatuses_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    const QString missing = QStringLiteral("/nonexistent/folder/file");
    QTest::newRow("no way in") << QStringList{} << 64;
    QTest::newRow("both ways in") << QStringList{"--device",   "/dev/null",  "--link",
                                                 "/tmp/x",     "--listen-a", "/dev/null",
                                                 "--listen-b", "/dev/null"}
                                  << 64;
    QTest::newRow("a device without a link") << QStringList{"--device", "/dev/null"} << 64;
    QTest::newRow("settings in the middle")
        << QStringList{"--device", "/dev/null", "--link", "/tmp/x", "--settings", "9600,n,8,1"}
        << 64;
    QTest::newRow("settings that do not parse")
        << QStringList{"--listen-a", "/dev/null", "--listen-b", "/dev/null", "--settings", "fast"}
        << 64;
    QTest::newRow("an unknown console")
        << QStringList{"--device", "/dev/null", "--link", "/tmp/x", "--console", "modem"} << 64;
    QTest::newRow("a User Define list on another console")
        << QStringList{"--device", "/dev/null", "--link", "/tmp/x", "--tail", "ETX(03)"} << 64;
    QTest::newRow("a gap of nothing")
        << QStringList{"--device", "/dev/null", "--link", "/tmp/x", "--gap", "0"} << 64;
    QTest::newRow("a link that cannot be made")
        << QStringList{"--device", "PTY", "--link", missing} << 73;
    QTest::newRow("a log that cannot be made")
        << QStringList{"--device", "PTY", "--link", "LINK", "--log", missing} << 73;
    QTest::newRow("a device that is not there")
        << QStringList{"--device", "/dev/ttyNOTHERE", "--link", "LINK"} << 4;
    QTest::newRow("a listening port that is not there")
        << QStringList{"--listen-a", "PTY", "--listen-b", "/dev/ttyNOTHERE"} << 4;
}

void TestMonitorCommand::exitStatuses()
{
    QFETCH(QStringList, options);
    QFETCH(int, status);
    PtyPair device;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyHOST"));
    options.replaceInStrings(QRegularExpression(QStringLiteral("^PTY$")), device.devicePath());
    options.replaceInStrings(QRegularExpression(QStringLiteral("^LINK$")), link);
    const CommandResult result = runCommand(QStringList{QStringLiteral("monitor")} + options);
    QCOMPARE(result.status, status);
    QVERIFY(result.out.isEmpty());
    QVERIFY(!result.err.isEmpty());
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TestMonitorCommand)
#include "tst_monitor_command.moc"
