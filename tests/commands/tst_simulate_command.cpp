// rs232c simulate as its users meet it: the built executable on one end of the line and
// python3-serial on the other (on the pty or over the network), or the far end of a pty playing
// the host on a "real" port, or a server that exports a port.

#include "HexBytes.h"
#include "PtyPair.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <csignal>

namespace {

// A client nobody here wrote: python3-serial, driven by steps, on a path or a URL.
//   w:HEX        writes the bytes
//   s:NAME:VALUE sets the port's attribute (baudrate, parity, rts, ...; over RFC 2217 pyserial
//                waits for the server's answer and fails without one) and prints "NAME VALUE" as
//                the port has it then
//   p            purges both buffers (over RFC 2217, answered as the settings are); prints
//                "purged"
//   r:N:MS       reads until N bytes came or MS passed; prints their hex, "-" for none
//   t:MS         prints "after MS" when at least MS passed since the last write began, else
//                "before MS": a reply the device must hold back can come late, never early
//   h:MS         reads until the line hangs up; prints "hangup", or "open" after MS
const char* const kClient = R"(
import serial, sys, time
port = serial.serial_for_url(sys.argv[1], 38400, timeout=0)
for step in sys.argv[2:]:
    op, *args = step.split(':')
    if op == 's':
        setattr(port, args[0], int(args[1]) if args[1].isdigit() else args[1])
        print(args[0], getattr(port, args[0]))
        continue
    if op == 'p':
        port.reset_input_buffer()
        port.reset_output_buffer()
        print('purged')
        continue
    if op == 'w':
        written = time.monotonic()
        port.write(bytes.fromhex(args[0]))
        port.flush()
        continue
    if op == 't':
        print(('after ' if (time.monotonic() - written) * 1000 >= int(args[0]) else 'before ') + args[0])
        continue
    end = time.monotonic() + int(args[-1]) / 1000
    if op == 'r':
        got = b''
        while len(got) < int(args[0]) and time.monotonic() < end:
            port.timeout = max(0, end - time.monotonic())
            got += port.read(int(args[0]) - len(got))
        print(got.hex().upper() or '-')
    elif op == 'h':
        state = 'open'
        try:
            while time.monotonic() < end:
                port.timeout = max(0, end - time.monotonic())
                port.read(1)
        except serial.SerialException:
            state = 'hangup'
        print(state)
)";

// A first client that keeps its connection while a second one connects with a plain socket and
// reads what it is told until the server closes it; then the first one still gets its answer.
//   python3 -c kSecondClient URL HOST PORT
const char* const kSecondClient = R"(
import serial, socket, sys
first = serial.serial_for_url(sys.argv[1], 38400, timeout=3)
second = socket.create_connection((sys.argv[2], int(sys.argv[3])), timeout=3)
told = b''
while True:
    chunk = second.recv(256)
    if not chunk:
        break
    told += chunk
print('told' if b'one client at a time' in told else 'not told: %r' % told)
first.write(bytes.fromhex('02414243433603'))
print(first.read(2).hex().upper() or '-')
)";

// A server that exports a port (RFC 2217 through pyserial's own server side, or raw TCP): prints
// the port it listens on, sends one frame to the client that connects, prints the reply's hex,
// and closes.
//   python3 -c kServer rfc2217|tcp HEX
const char* const kServer = R"(
import serial, serial.rfc2217, socket, sys
listener = socket.create_server(('127.0.0.1', 0))
print(listener.getsockname()[1], flush=True)
connection, _ = listener.accept()
connection.settimeout(3)
class Writer:
    def write(self, data):
        connection.sendall(data)
manager = None
if sys.argv[1] == 'rfc2217':
    manager = serial.rfc2217.PortManager(serial.serial_for_url('loop://'), Writer())
frame = bytes.fromhex(sys.argv[2])
connection.sendall(b''.join(manager.escape(frame)) if manager else frame)
got = b''
while len(got) < 2:
    data = connection.recv(1024)
    if not data:
        break
    got += b''.join(manager.filter(data)) if manager else data
print(got.hex().upper() or '-')
connection.close()
)";

// Long enough for any reply to come.
constexpr int kPatientMs = 3000;

QString python()
{
    // Debian's own interpreter, which python3-serial installs into.
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3"))
               ? QStringLiteral("/usr/bin/python3")
               : QStringLiteral("python3");
}

// The script's lines, or what went wrong as the one line.
QStringList runScript(const char* script, const QStringList& arguments)
{
    QProcess client;
    client.start(python(),
                 QStringList{QStringLiteral("-c"), QString::fromLatin1(script)} + arguments);
    if (!client.waitForFinished(30000) || client.exitCode() != 0)
        return {QStringLiteral("client failed: ") +
                QString::fromLocal8Bit(client.readAllStandardError())};
    return QString::fromLatin1(client.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList runClient(const QString& path, const QStringList& steps)
{
    return runScript(kClient, QStringList{path} + steps);
}

// What simulate --listen prints, as pyserial spells it: socket:// for raw TCP.
QString pyserialUrl(const QString& url)
{
    return QString(url).replace(QLatin1String("tcp://"), QLatin1String("socket://"));
}

// One run of rs232c simulate.
class Simulate {
public:
    // Waits for the pty's path, the first line, unless the device is a real port.
    explicit Simulate(const QStringList& options, bool pty = true)
    {
        m_process.start(QStringLiteral(RS232C_COMMAND_PATH),
                        QStringList{QStringLiteral("simulate")} + options);
        m_process.waitForStarted();
        if (pty)
            m_path = QString::fromUtf8(nextLine()).trimmed();
    }
    ~Simulate()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    QString path() const { return m_path; }
    QByteArray nextLine()
    {
        while (!m_process.canReadLine() && m_process.waitForReadyRead(kPatientMs)) {
        }
        const QByteArray line = m_process.readLine();
        m_seen += line;
        return line;
    }
    // Waits until the device has told of count frames: it has dealt with them.
    void waitForFrames(qsizetype count)
    {
        while (m_seen.count("\"event\":\"frame\"") < count && !nextLine().isEmpty()) {
        }
    }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
    // The exit status once it ended by itself or after a signal; -1 when it crashed or hangs.
    int exitStatus()
    {
        if (!m_process.waitForFinished(kPatientMs) ||
            m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_process.exitCode();
    }
    int stop()
    {
        signal(SIGTERM);
        return exitStatus();
    }
    // What it printed that output() has not returned yet.
    QByteArray output()
    {
        const QByteArray unread = m_seen + m_process.readAllStandardOutput();
        m_seen.clear();
        return unread;
    }
    QString errors() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }
    // The JSON lines still unread, by their "event".
    QList<QJsonObject> events(const QString& kind)
    {
        QList<QJsonObject> found;
        for (const QByteArray& line : output().split('\n')) {
            const QJsonObject event = QJsonDocument::fromJson(line).object();
            if (event.value(QLatin1String("event")).toString() == kind)
                found << event;
        }
        return found;
    }

private:
    QProcess m_process;
    QString m_path;
    QByteArray m_seen; // lines nextLine() read
};

// "rules[0] drop" or "protocol": which answer each frame got and the faults that spoilt it.
QStringList answersOf(const QList<QJsonObject>& frames)
{
    QStringList seen;
    for (const QJsonObject& frame : frames) {
        QString text =
            frame.value(QLatin1String("rule")).isNull()
                ? frame.value(QLatin1String("rule_name")).toString()
                : QStringLiteral("rules[%1]").arg(frame.value(QLatin1String("rule")).toInt());
        for (const QJsonValue& fault : frame.value(QLatin1String("faults")).toArray())
            text += QLatin1Char(' ') + fault.toString();
        seen << text;
    }
    return seen;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

QByteArray noiseSent(Simulate& run)
{
    QByteArray bytes;
    for (const QJsonObject& noise : run.events(QStringLiteral("noise")))
        bytes += QByteArray::fromHex(noise.value(QLatin1String("bytes")).toString().toLatin1());
    return bytes;
}

const QByteArray kOrderedRules = R"({"rules": [
    {"name": "exact", "frame": "02 41 42 43 43 36 03", "reply": "52 30"},
    {"name": "prefix", "prefix": "02 41", "reply": "52 31"},
    {"name": "bad check", "wrong_check": "loader", "reply": "52 32"},
    {"name": "quiet", "prefix": "05 50", "silent": true},
    {"name": "late", "frame": "05 4C 04", "reply": "52 34", "delay_ms": 300}
]})";

} // namespace

class SimulateCommandTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void answers_data();
    void answers();
    void randomFaultsRepeatWithTheirSeed_data();
    void randomFaultsRepeatWithTheirSeed();
    void splitSendsTheReplyByteByByte();
    void refusedRuns_data();
    void refusedRuns();
    void linkFollowsTheRun_data();
    void linkFollowsTheRun();
    void servesOnWhenItsOutputIsGone();
    void realPortIsLockedWhileServed();
    void servesOverTheNetwork_data();
    void servesOverTheNetwork();
    void refusesASecondClient_data();
    void refusesASecondClient();
    void answersOnANetworkPort_data();
    void answersOnANetworkPort();
};

void SimulateCommandTest::initTestCase()
{
    QProcess probe;
    probe.start(python(), {QStringLiteral("-c"), QStringLiteral("import serial")});
    QVERIFY2(probe.waitForFinished(30000) && probe.exitCode() == 0,
             "the tests need Debian's python3-serial (scripts/test installs it)");
}

void SimulateCommandTest::answers_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("rules");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("received");
    QTest::addColumn<QStringList>("answered");

    const QString wait = QString::number(kPatientMs);
    QTest::newRow("Loader: right check, wrong check")
        << QStringList{} << QByteArray()
        << QStringList{"w:02414243433603", "r:2:" + wait, "w:02414243433703", "r:2:" + wait}
        << QStringList{"0604", "1504"} << QStringList{"protocol", "protocol"};
    QTest::newRow("--console loader: a Dedicated frame is anything else")
        << QStringList{"--console", "loader"} << QByteArray()
        << QStringList{"w:05414243044346", "r:1:" + wait, "w:02414243433603", "r:2:" + wait}
        << QStringList{"15", "0604"} << QStringList{"protocol", "protocol"};
    QTest::newRow("--console dedicated: a Loader frame is anything else")
        << QStringList{"--console", "dedicated"} << QByteArray()
        << QStringList{"w:02414243433603", "r:1:" + wait, "w:05414243044346", "r:1:" + wait}
        << QStringList{"15", "06"} << QStringList{"protocol", "protocol"};
    // The exact frame also starts with the prefix; AB with a wrong check also has the prefix.
    QTest::newRow("rules: first match wins, then the mode")
        << QStringList{} << kOrderedRules
        << QStringList{"w:02414243433603", "r:2:" + wait, "w:024142383303", "r:2:" + wait,
                       "w:024142383403",   "r:2:" + wait, "w:024243383603", "r:2:" + wait,
                       "w:0541424304",     "r:1:" + wait, "w:0550494E4704"}
        << QStringList{"5230", "5231", "5231", "5232", "06"}
        << QStringList{"rules[0]", "rules[1]", "rules[1]", "rules[2]", "protocol", "rules[3]"};
    QTest::newRow("rules: a rule's delay holds its reply")
        << QStringList{} << kOrderedRules << QStringList{"w:054C04", "r:2:" + wait, "t:300"}
        << QStringList{"5234", "after 300"} << QStringList{"rules[4]"};
    QTest::newRow("--drop-every 2")
        << QStringList{"--drop-every", "2"} << QByteArray()
        << QStringList{"w:02414243433603", "r:2:" + wait, "w:02414243433603", "w:02414243433703",
                       "r:2:" + wait}
        << QStringList{"0604", "1504"} << QStringList{"protocol", "protocol drop", "protocol"};
    QTest::newRow("--wrong-check: only replies that carry digits")
        << QStringList{"--wrong-check"}
        << QByteArray(R"({"rules": [{"frame": "0541424304", "reply": "02414243433603"},
                                    {"frame": "054104", "reply": "05414243044346"}]})")
        << QStringList{"w:0541424304", "r:7:" + wait,      "w:054104",
                       "r:7:" + wait,  "w:02414243433603", "r:2:" + wait}
        << QStringList{"02414243433703", "05414243044430", "0604"}
        << QStringList{"rules[0] wrong-check", "rules[1] wrong-check", "protocol"};
    QTest::newRow("--garbage with --reply silent: nothing to spoil")
        << QStringList{"--garbage", "3", "--reply", "silent"} << QByteArray()
        << QStringList{"w:02414243433603"} << QStringList{} << QStringList{"silent"};
    QTest::newRow("--vanish-after 2: two answers, then a hang-up")
        << QStringList{"--vanish-after", "2"} << QByteArray()
        << QStringList{"w:02414243433603", "r:2:" + wait, "w:02414243433703", "r:2:" + wait,
                       "h:" + wait}
        << QStringList{"0604", "1504", "hangup"} << QStringList{"protocol", "protocol"};
}

void SimulateCommandTest::answers()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, rules);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, received);
    QFETCH(QStringList, answered);
    QTemporaryDir dir;
    if (!rules.isEmpty())
        options << QStringLiteral("--rules") << writeFile(dir, QStringLiteral("rules.json"), rules);

    Simulate run(options << QStringLiteral("--json"));
    QVERIFY(run.path().startsWith(QLatin1String("/dev/")));
    QCOMPARE(runClient(run.path(), steps), received);
    run.waitForFrames(answered.size());
    const bool vanishes = options.contains(QLatin1String("--vanish-after"));
    QCOMPARE(vanishes ? run.exitStatus() : run.stop(), 0);
    const QList<QJsonObject> frames = run.events(QStringLiteral("frame"));
    QCOMPARE(answersOf(frames), answered);
    // What the device told it sent is what reached the client, silent answers included.
    QString told;
    for (const QJsonObject& frame : frames)
        told += frame.value(QLatin1String("reply")).toString();
    const QRegularExpression bytes(QStringLiteral("^([0-9A-F]{2})+$"));
    QCOMPARE(told, received.filter(bytes).join(QString()));
    QVERIFY(QRegularExpression(
                QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)$)"))
                .match(frames.first().value(QLatin1String("time")).toString())
                .hasMatch());
}

void SimulateCommandTest::randomFaultsRepeatWithTheirSeed_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("noise");

    QTest::newRow("--garbage 3: three bytes before each reply")
        << QStringList{"--garbage", "3"}
        << QStringList{"w:02414243433603", "r:5:3000", "w:02414243433603", "r:5:3000"} << false;
    QTest::newRow("--noise 10: bytes nobody asked for")
        << QStringList{"--noise", "10"} << QStringList{"r:8:3000"} << true;
}

void SimulateCommandTest::randomFaultsRepeatWithTheirSeed()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, steps);
    QFETCH(bool, noise);

    QList<QStringList> seen;
    QList<QByteArray> sent;
    for (const char* seed : {"7", "7", "8"}) {
        Simulate run(QStringList(options) << QStringLiteral("--seed") << QLatin1String(seed)
                                          << QStringLiteral("--json"));
        seen << runClient(run.path(), steps);
        QCOMPARE(run.stop(), 0);
        sent << noiseSent(run);
    }
    if (noise) {
        // The client opens the line after the noise began, and opening empties it, so what it
        // got is some stretch of what was sent; what was sent repeats with the seed.
        const QByteArray got = QByteArray::fromHex(seen[0].value(0).toLatin1());
        QCOMPARE(got.size(), 8);
        QVERIFY(sent[0].contains(got));
        QCOMPARE(sent[0].first(8), sent[1].first(8));
        QVERIFY(sent[0].first(8) != sent[2].first(8));
        return;
    }
    for (const QString& reply : seen[0]) {
        QCOMPARE(reply.size(), 10);
        QVERIFY(reply.endsWith(QLatin1String("0604")));
    }
    // Fresh bytes for every reply.
    QVERIFY(seen[0][0] != seen[0][1]);
    QCOMPARE(seen[1], seen[0]);
    QVERIFY(seen[2] != seen[0]);
    QVERIFY(sent[0].isEmpty());
}

// The gaps between the bytes are a figure of bench_simulate; here, the whole reply comes, and its
// last byte no sooner than six gaps after the frame.
void SimulateCommandTest::splitSendsTheReplyByteByByte()
{
    Simulate run({QStringLiteral("--split"), QStringLiteral("40"), QStringLiteral("--json"),
                  QStringLiteral("--reply"), QStringLiteral("hex:02414243433603")});
    QCOMPARE(runClient(run.path(), {QStringLiteral("w:0541424304"), QStringLiteral("r:7:5000"),
                                    QStringLiteral("t:240")}),
             (QStringList{"02414243433603", "after 240"}));
    QCOMPARE(run.stop(), 0);
    QCOMPARE(answersOf(run.events(QStringLiteral("frame"))), QStringList{"hex split"});
}

void SimulateCommandTest::refusedRuns_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("rules");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("why");

    const QByteArray good = R"({"rules": []})";
    QTest::newRow("rules: a misspelt key")
        << QStringList{} << QByteArray(R"({"rules": [{"frame": "06", "reply": "06"},
                                                                      {"frame": "05", "repy": "06"}]})")
        << 65 << "rules.json: rules[1]: unknown key \"repy\"";
    QTest::newRow("rules: not JSON")
        << QStringList{} << QByteArray("{\"rules\": [\n  {\"frame\" \"06\"}]}") << 65
        << "rules.json: line 2, column";
    QTest::newRow("rules: no such file") << QStringList{"--rules", "/nonexistent/rules.json"}
                                         << QByteArray() << 66 << "/nonexistent/rules.json";
    QTest::newRow("--link over a file") << QStringList{"--link", "@/precious"} << QByteArray() << 73
                                        << "precious exists and is no symbolic link";
    QTest::newRow("--baud without --device")
        << QStringList{"--baud", "9600"} << good << 64 << "--device and --baud go together";
    QTest::newRow("--drop-every 0")
        << QStringList{"--drop-every", "0"} << good << 64 << "--drop-every: a whole number from 1";
    QTest::newRow("--reply with a split pair")
        << QStringList{"--reply", "hex:06 0 4"} << good << 64 << "--reply:";
    QTest::newRow("--console userdef") << QStringList{"--console", "userdef"} << good << 64
                                       << "--console: loader, dedicated or any expected";
    QTest::newRow("--listen ftp:21") << QStringList{"--listen", "ftp:21"} << good << 64
                                     << "--listen: rfc2217:PORT or tcp:PORT expected";
    QTest::newRow("--listen tcp:65536") << QStringList{"--listen", "tcp:65536"} << good << 64
                                        << "--listen: a port from 0 (any free one) to 65535";
    QTest::newRow("--listen with --device")
        << QStringList{"--listen", "tcp:0", "--device", "tcp://127.0.0.1:4000"} << good << 64
        << "--listen serves over the network: it does not go with --device";
    QTest::newRow("--bind without --listen")
        << QStringList{"--bind", "::1"} << good << 64 << "--bind names the address --listen";
    QTest::newRow("--bind a host name")
        << QStringList{"--listen", "tcp:0", "--bind", "localhost"} << good << 64
        << "--bind: an IPv4 or IPv6 address expected, not \"localhost\"";
    QTest::newRow("--baud with a network --device")
        << QStringList{"--device", "rfc2217://127.0.0.1:4000", "--baud", "9600"} << good << 64
        << "--baud does not go with a network --device";
    QTest::newRow("a network --device without its port")
        << QStringList{"--device", "rfc2217://box"} << good << 64 << "--device: rfc2217://box";
    QTest::newRow("a network --device nobody listens on")
        << QStringList{"--device", "tcp://127.0.0.1:1"} << good << 4
        << "tcp://127.0.0.1:1: Connection refused";
}

void SimulateCommandTest::refusedRuns()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, rules);
    QFETCH(int, status);
    QFETCH(QString, why);
    QTemporaryDir dir;
    const QString precious = writeFile(dir, QStringLiteral("precious"), "keep me");
    options.replaceInStrings(QStringLiteral("@/precious"), precious);
    if (!rules.isEmpty())
        options << QStringLiteral("--rules") << writeFile(dir, QStringLiteral("rules.json"), rules);

    Simulate run(options, false);
    QCOMPARE(run.exitStatus(), status);
    QVERIFY2(run.errors().contains(why), qPrintable(why));
    // Refused before the device started: no path for a script to take for a ready device.
    QCOMPARE(run.output(), QByteArray());
    QFile kept(precious);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep me"));
}

void SimulateCommandTest::linkFollowsTheRun_data()
{
    QTest::addColumn<bool>("leftover");
    QTest::addColumn<int>("signal");
    QTest::newRow("a new link, SIGTERM") << false << SIGTERM;
    QTest::newRow("a killed run's link replaced, SIGINT") << true << SIGINT;
}

void SimulateCommandTest::linkFollowsTheRun()
{
    QFETCH(bool, leftover);
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyDEVICE"));
    if (leftover)
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/nothing"), link));

    Simulate run({QStringLiteral("--link"), link});
    QCOMPARE(QFileInfo(link).symLinkTarget(), run.path());
    QCOMPARE(runClient(link, {QStringLiteral("w:02414243433603"), QStringLiteral("r:2:3000")}),
             QStringList{"0604"});
    // The plain form: time, frame hex and characters, the answer, the reply.
    QByteArray frameLine;
    while (!frameLine.contains(" frame ") && !(frameLine = run.nextLine()).isEmpty()) {
    }
    QVERIFY2(QRegularExpression(
                 QStringLiteral(R"(^\S+ frame 02414243433603 ␂ABCC6␃ protocol reply 0604 ␆␄\n$)"))
                 .match(QString::fromUtf8(frameLine))
                 .hasMatch(),
             frameLine.constData());
    run.signal(signal);
    QCOMPARE(run.exitStatus(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

// simulate --link L | head -1: head takes the pty's path and ends; the device serves on, and its
// end still removes the link, with 74 for the lines that were lost.
void SimulateCommandTest::servesOnWhenItsOutputIsGone()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyDEVICE"));
    QProcess simulate;
    QProcess head;
    simulate.setStandardOutputProcess(&head);
    head.start(QStringLiteral("head"), {QStringLiteral("-1")});
    simulate.start(QStringLiteral(RS232C_COMMAND_PATH),
                   {QStringLiteral("simulate"), QStringLiteral("--link"), link});
    QVERIFY(head.waitForFinished(kPatientMs));
    const QString path = QString::fromUtf8(head.readAllStandardOutput()).trimmed();
    QVERIFY(path.startsWith(QLatin1String("/dev/")));
    QCOMPARE(QFileInfo(link).symLinkTarget(), path);

    QCOMPARE(runClient(link, {QStringLiteral("w:02414243433603"), QStringLiteral("r:2:3000")}),
             QStringList{"0604"});
    ::kill(pid_t(simulate.processId()), SIGTERM);
    QVERIFY(simulate.waitForFinished(kPatientMs));
    QCOMPARE(simulate.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulate.exitCode(), 74);
    QVERIFY(simulate.readAllStandardError().contains("standard output cannot be written"));
    QVERIFY(!QFileInfo(link).isSymLink());
}

void SimulateCommandTest::realPortIsLockedWhileServed()
{
    PtyPair line;
    const QStringList options = {QStringLiteral("--device"), line.devicePath(),
                                 QStringLiteral("--baud"), QStringLiteral("38400"),
                                 QStringLiteral("--json")};
    {
        Simulate run(options, false);
        QVERIFY(run.nextLine().contains("\"event\":\"start\""));
        line.write(hex("02414243433603"));
        QCOMPARE(line.read(2, kPatientMs), hex("0604"));

        Simulate second(options, false);
        QCOMPARE(second.exitStatus(), 4);
        QVERIFY2(second.errors().contains(QLatin1String("in use by another program")),
                 "a second simulate on the port is refused");
        QCOMPARE(run.stop(), 0);
    }
    QSerialPort port(line.devicePath());
    QVERIFY2(port.open(QIODevice::ReadWrite), "the port is unlocked once simulate ended");
    port.close();

    // The adapter's other end goes away: simulate says so and ends.
    Simulate run(options, false);
    QVERIFY(run.nextLine().contains("\"event\":\"start\""));
    line.closeFarEnd();
    QCOMPARE(run.exitStatus(), 4);
    QVERIFY(run.errors().contains(line.devicePath()));
}

void SimulateCommandTest::servesOverTheNetwork_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("received");

    const QString wait = QString::number(kPatientMs);
    const QStringList loader{"w:02414243433603", "r:2:" + wait};
    for (const char* listen : {"rfc2217:0", "tcp:0"}) {
        const QStringList options{"--listen", listen};
        QTest::addRow("%s: Loader exchange", listen) << options << loader << QStringList{"0604"};
        // pyserial's RFC 2217 client drops what it had not read once the connection closes,
        // so the reply shows in the device's report.
        QTest::addRow("%s: --vanish-after 1 closes the connection", listen)
            << options + QStringList{"--vanish-after", "1"}
            << QStringList{"w:02414243433603", "h:" + wait} << QStringList{"hangup"};
    }
    QTest::newRow("rfc2217: a rate change is answered, then an exchange")
        << QStringList{"--listen", "rfc2217:0"} << QStringList{"s:baudrate:19200"} + loader
        << QStringList{"baudrate 19200", "0604"};
    QTest::newRow("rfc2217: framing, flow control, lines, break and purge are answered")
        << QStringList{"--listen", "rfc2217:0"}
        << QStringList{"s:bytesize:7",
                       "s:parity:E",
                       "s:stopbits:2",
                       "s:rtscts:1",
                       "s:rts:0",
                       "s:dtr:0",
                       "s:break_condition:1",
                       "s:break_condition:0",
                       "p"} +
               loader
        << QStringList{"bytesize 7", "parity E",          "stopbits 2",        "rtscts 1", "rts 0",
                       "dtr 0",      "break_condition 1", "break_condition 0", "purged",   "0604"};
    QTest::newRow("tcp on --bind ::1")
        << QStringList{"--listen", "tcp:0", "--bind", "::1"} << loader << QStringList{"0604"};
}

void SimulateCommandTest::servesOverTheNetwork()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, received);

    Simulate run(options + QStringList{QStringLiteral("--json")});
    const QString scheme = options.at(1).section(QLatin1Char(':'), 0, 0);
    const QString host = options.contains(QLatin1String("--bind"))
                             ? QStringLiteral("\\[::1\\]")
                             : QStringLiteral("127\\.0\\.0\\.1");
    QVERIFY2(QRegularExpression(QStringLiteral("^%1://%2:[1-9][0-9]*$").arg(scheme, host))
                 .match(run.path())
                 .hasMatch(),
             qPrintable(run.path()));
    QCOMPARE(runClient(pyserialUrl(run.path()), steps), received);
    const bool vanishes = options.contains(QLatin1String("--vanish-after"));
    QCOMPARE(vanishes ? run.exitStatus() : run.stop(), 0);
    const QByteArray output = run.output();
    QVERIFY(output.contains("\"device\":\"" + run.path().toUtf8() + '"'));
    QCOMPARE(output.count("\"reply\":\"0604\""), 1);
    QCOMPARE(output.contains("\"event\":\"vanished\""), vanishes);
    QVERIFY(run.errors().contains(QLatin1String(" connected")));
}

void SimulateCommandTest::refusesASecondClient_data()
{
    QTest::addColumn<QString>("listen");
    QTest::newRow("rfc2217") << QStringLiteral("rfc2217:0");
    QTest::newRow("tcp") << QStringLiteral("tcp:0");
}

void SimulateCommandTest::refusesASecondClient()
{
    QFETCH(QString, listen);
    Simulate run({QStringLiteral("--listen"), listen});
    const QUrl url(run.path());
    QCOMPARE(runScript(kSecondClient,
                       {pyserialUrl(run.path()), url.host(), QString::number(url.port())}),
             (QStringList{"told", "0604"}));
    QCOMPARE(run.stop(), 0);
    QVERIFY2(run.errors().contains(QLatin1String("refused client 127.0.0.1:")),
             "simulate says whom it refused");
}

void SimulateCommandTest::answersOnANetworkPort_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::newRow("rfc2217") << QStringLiteral("rfc2217");
    QTest::newRow("tcp") << QStringLiteral("tcp");
}

// simulate --device URL as the client of a server that exports a port: it answers the frame the
// server sends, and ends with 4 when the server closes the connection.
void SimulateCommandTest::answersOnANetworkPort()
{
    QFETCH(QString, scheme);
    QProcess server;
    server.start(python(), {QStringLiteral("-c"), QString::fromLatin1(kServer), scheme,
                            QStringLiteral("02414243433603")});
    QVERIFY(server.waitForReadyRead(kPatientMs * 10));
    const QString port = QString::fromLatin1(server.readLine()).trimmed();
    const QString url = QStringLiteral("%1://127.0.0.1:%2").arg(scheme, port);

    Simulate run({QStringLiteral("--device"), url, QStringLiteral("--json")}, false);
    QVERIFY(server.waitForFinished(kPatientMs * 10));
    QCOMPARE(QString::fromLatin1(server.readAllStandardOutput()).trimmed(), QStringLiteral("0604"));
    QCOMPARE(run.exitStatus(), 4);
    QCOMPARE(run.events(QStringLiteral("start")).value(0).value(QLatin1String("device")).toString(),
             url);
    QVERIFY(run.errors().contains(url + QStringLiteral(": the server closed the connection")));
}

QTEST_GUILESS_MAIN(SimulateCommandTest)
#include "tst_simulate_command.moc"
