// Network serial ports for real: a ser2net configured as labgrid's exporter configures it, serving
// simulated devices on ptys, reached through the engine, a console window and rs232c send; the
// rate set over RFC 2217 read back from the pty; and the ways a network port fails, each through
// the engine and rs232c send: one "Port Disorder" naming the host and port and what happened, the
// bytes collected kept, and the next exchange on the same line answered.

#include "CommandProcess.h"
#include "ConsoleHarness.h"
#include "FaultServer.h"
#include "HexBytes.h"
#include "PortMapOverride.h"
#include "RecordingServices.h"
#include "Ser2net.h"
#include "device/SimulatedDevice.h"
#include "protocols/ExchangeRunner.h"
#include "protocols/ProgramState.h"
#include "serial/NetworkLine.h"
#include "serial/SerialControl.h"
#include "windows/DedicatedWindow.h"
#include "windows/LoaderWindow.h"

#include <QFile>
#include <QLineEdit>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kEndMs = 20000; // the connect limit, the drain limit and then some

struct Outcome {
    ExchangeRecord record;
    QStringList warnings;
};

// One exchange through the runner the windows and commands use, on port's line.
Outcome exchangeOn(SerialControl& port, const ConsoleRequest& request)
{
    Outcome outcome;
    ExchangeRunner runner(port, program());
    runner.setWarning([&outcome](const QString& warning) { outcome.warnings << warning; });
    QSignalSpy finished(&runner, &ExchangeRunner::finished);
    if (runner.begin(request)) {
        runner.run();
        finished.wait(kEndMs);
    }
    outcome.record = runner.record();
    return outcome;
}

const ConsoleRequest kLoaderAbc{ConsoleKind::Loader, "ABC"};

speed_t speedOf(const QString& device)
{
    const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios settings{};
    const bool read = fd >= 0 && ::tcgetattr(fd, &settings) == 0;
    if (fd >= 0)
        ::close(fd);
    return read ? cfgetospeed(&settings) : B0;
}

enum class Fault {
    HostNotFound,
    Refused,
    ConnectTimeout,
    CloseMidFrame,
    CloseMidReply,
    NeverAnswers,
    Flood,
    SecondClient,
    KeepsItsRate,
    LeavesSettingsUnanswered
};

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestNetworkPorts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void exchangesThroughSer2net_data();
    void exchangesThroughSer2net();
    void theRateReachesTheDeviceAndTheNextExchangeGoesOn();
    void aPlanNamesANetworkPort();
    void faults_data();
    void faults();
    void aConsoleStaysLiveWhileItConnects();

private:
    std::unique_ptr<SimulatedDevice> m_rfc2217Device;
    std::unique_ptr<SimulatedDevice> m_rawDevice;
    std::unique_ptr<Ser2net> m_server;
};

void TestNetworkPorts::initTestCase()
{
    if (!Ser2net::installed())
        QSKIP("ser2net is not installed (scripts/test installs it)");
    m_rfc2217Device = std::make_unique<SimulatedDevice>();
    m_rawDevice = std::make_unique<SimulatedDevice>();
    m_server = std::make_unique<Ser2net>(m_rfc2217Device->devicePath(), m_rawDevice->devicePath());
    QTRY_VERIFY2_WITH_TIMEOUT(m_server->listening(), qPrintable(m_server->output()), kEndMs);
}

void TestNetworkPorts::exchangesThroughSer2net_data()
{
    QTest::addColumn<bool>("rfc2217");
    QTest::addColumn<QString>("through"); // engine, window or send
    QTest::addColumn<int>("console");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("word");

    const QByteArray loader = hex("02414243433603");
    const QByteArray dedicated = hex("0541424304");
    for (const char* through : {"engine", "window", "send"}) {
        QTest::addRow("loader, rfc2217, %s", through)
            << true << through << int(ConsoleKind::Loader) << loader << "ACK";
        QTest::addRow("dedicated, rfc2217, %s", through)
            << true << through << int(ConsoleKind::Dedicated) << dedicated << "ACK";
        QTest::addRow("loader, raw tcp, %s", through)
            << false << through << int(ConsoleKind::Loader) << loader << "ACK";
    }
}

void TestNetworkPorts::exchangesThroughSer2net()
{
    QFETCH(bool, rfc2217);
    QFETCH(QString, through);
    QFETCH(int, console);
    QFETCH(QByteArray, frame);
    QFETCH(QString, word);
    const auto kind = ConsoleKind(console);
    SimulatedDevice& device = rfc2217 ? *m_rfc2217Device : *m_rawDevice;
    const QString url = rfc2217 ? m_server->rfc2217Url() : m_server->rawUrl();
    device.clearReceived();
    // The Dedicated console's line is the one the settings window publishes.
    program().PortNo = QStringLiteral("1");
    program().BaudRate = 38400;

    QStringList warnings;
    if (through == QLatin1String("engine")) {
        PortMapOverride map(url);
        SerialControl port;
        // Twice on one line: the line connects anew for each, and says a notice only once.
        for (int round = 0; round < 2; ++round) {
            const Outcome outcome = exchangeOn(port, {kind, "ABC"});
            QVERIFY2(outcome.record.word() == word, qPrintable(outcome.record.error));
            QCOMPARE(outcome.record.device, url);
            QCOMPARE(outcome.record.lineState, QStringList());
            warnings += outcome.warnings;
        }
        QCOMPARE(device.frames(), QList<QByteArray>({frame, frame}));
    } else if (through == QLatin1String("window")) {
        PortMapOverride map(url);
        RecordingServices services;
        std::unique_ptr<ConsoleControls> c;
        if (kind == ConsoleKind::Loader)
            c = std::make_unique<ShownConsole<LoaderWindow>>();
        else
            c = std::make_unique<ShownConsole<DedicatedWindow>>();
        c->type(QStringLiteral("ABC"));
        c->clickSend();
        QTRY_VERIFY_WITH_TIMEOUT(!c->busy(), kEndMs);
        QCOMPARE(c->status->text(), word);
        for (const RecordingServices::Box& box : services.boxes())
            warnings << box.text;
        QCOMPARE(device.frames(), QList<QByteArray>({frame}));
    } else {
        const CommandResult result =
            runCommand({"send", "--device", url, "--console",
                        kind == ConsoleKind::Loader ? "loader" : "dedicated", "ABC", "--json"});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.jsonLines().value(0).value("word").toString(), word);
        QCOMPARE(result.jsonLines().value(0).value("line_state").toArray().size(), 0);
        warnings = QString::fromUtf8(result.err).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(device.frames(), QList<QByteArray>({frame}));
    }
    // Raw TCP carries no settings, and says so once; ser2net answers every RFC 2217 request.
    if (rfc2217) {
        QCOMPARE(warnings, QStringList());
    } else {
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].contains(QLatin1String("the line's settings are the server's")),
                 qPrintable(warnings[0]));
    }
}

void TestNetworkPorts::theRateReachesTheDeviceAndTheNextExchangeGoesOn()
{
    PortMapOverride map(m_server->rfc2217Url());
    SerialControl port;
    port.setCommPort(1);
    port.setSettings(QStringLiteral("19200,n,8,1"));
    port.setInputLen(0);
    port.setPortOpen(true);
    port.setOutput(hex("02414243433603"));
    QTRY_COMPARE_WITH_TIMEOUT(port.outputLeft(), 0, kEndMs);
    QByteArray reply;
    QTRY_VERIFY_WITH_TIMEOUT((reply += port.input()).endsWith('\x04'), kEndMs);
    QCOMPARE(reply, hex("0604"));
    // ser2net puts the device back to its configured rate when the client leaves, so the pty is
    // read while the line is open.
    QCOMPARE(speedOf(m_rfc2217Device->devicePath()), speed_t(B19200));
    port.setPortOpen(false);

    // The next exchange (the Loader's 38400) changes the rate again and is answered: it waits for
    // no confirmation (its time is in the benchmark).
    const Outcome outcome = exchangeOn(port, kLoaderAbc);
    QCOMPARE(outcome.record.word(), QStringLiteral("ACK"));
    QCOMPARE(outcome.warnings, QStringList());
}

void TestNetworkPorts::aPlanNamesANetworkPort()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plan.json"));
    QFile plan(path);
    QVERIFY(plan.open(QIODevice::WriteOnly));
    plan.write(QStringLiteral(R"({"ports": {"1": "%1"}, "port": 1, "steps": [
        {"console": "loader", "message": "ABC", "expect": {"class": "ack"}},
        {"console": "dedicated", "message": "R01", "expect": {"class": "ack"}}]})")
                   .arg(m_server->rfc2217Url())
                   .toUtf8());
    plan.close();
    m_rfc2217Device->clearReceived();
    const CommandResult result = runCommand({"run", path});
    QVERIFY2(result.status == 0, result.out + result.err);
    QCOMPARE(m_rfc2217Device->frames().size(), 2);
}

void TestNetworkPorts::faults_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("word");    // of the exchange through the engine
    QTest::addColumn<int>("status");      // of rs232c send
    QTest::addColumn<QString>("reason");  // in the failure's reason or the one notice
    QTest::addColumn<QByteArray>("kept"); // what the record keeps of the reply (its start)

    const QString disorder = QStringLiteral("Port Disorder");
    QTest::newRow("host not found")
        << Fault::HostNotFound << disorder << 4 << "host not found" << QByteArray();
    QTest::newRow("connection refused")
        << Fault::Refused << disorder << 4 << "the connection was refused" << QByteArray();
    QTest::newRow("connect timeout")
        << Fault::ConnectTimeout << disorder << 4 << "no connection within 3 s" << QByteArray();
    QTest::newRow("server closes mid-frame") << Fault::CloseMidFrame << disorder << 4
                                             << "the server closed the connection" << QByteArray();
    QTest::newRow("server closes mid-reply")
        << Fault::CloseMidReply << disorder << 4 << "the server closed the connection" << hex("06");
    // A server that takes the connection but never answers RFC 2217's negotiation never
    // completes it.
    QTest::newRow("server never answers RFC 2217")
        << Fault::NeverAnswers << disorder << 4 << "no connection within 3 s" << QByteArray();
    QTest::newRow("flood") << Fault::Flood << QStringLiteral("Error") << 3 << QString()
                           << QByteArray("FFF");
    // The server's answer is believed: a rate it keeps fails the exchange as a refused rate does
    // on a local port. Settings left unanswered never fail one: the line says so once.
    QTest::newRow("server keeps its own rate")
        << Fault::KeepsItsRate << disorder << 4
        << "settings \"38400,n,8,1\" refused (the server keeps 9600 baud)" << QByteArray();
    QTest::newRow("server leaves the settings unconfirmed")
        << Fault::LeavesSettingsUnanswered << QStringLiteral("ACK") << 0
        << "did not confirm the line settings" << hex("0604");
    QTest::newRow("second client of a one-client server")
        << Fault::SecondClient << disorder << 4 << "the server closed the connection"
        << QByteArray();
}

void TestNetworkPorts::faults()
{
    QFETCH(Fault, fault);
    QFETCH(QString, word);
    QFETCH(int, status);
    QFETCH(QString, reason);
    QFETCH(QByteArray, kept);

    std::unique_ptr<FaultServer> server;
    std::unique_ptr<SimulatedDevice> lone;
    std::unique_ptr<SimulatedDevice> loneRaw;
    std::unique_ptr<Ser2net> oneClient;
    int holder = -1;
    QString url;
    const auto serve = [&](FaultServer::Mode mode, const char* scheme) {
        server = std::make_unique<FaultServer>(mode);
        url = QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(server->port());
    };
    switch (fault) {
    case Fault::HostNotFound:
        url = QStringLiteral("rfc2217://no-such-host.invalid:2217");
        break;
    case Fault::Refused:
        url = QStringLiteral("rfc2217://127.0.0.1:%1").arg(freeLoopbackPort());
        break;
    case Fault::ConnectTimeout:
        serve(FaultServer::Mode::Unanswering, "rfc2217");
        break;
    case Fault::CloseMidFrame:
        serve(FaultServer::Mode::CloseAtOnce, "tcp");
        break;
    case Fault::CloseMidReply:
        serve(FaultServer::Mode::CloseMidReply, "tcp");
        break;
    case Fault::NeverAnswers:
        serve(FaultServer::Mode::Mute, "rfc2217");
        break;
    case Fault::Flood:
        serve(FaultServer::Mode::Flood, "tcp");
        break;
    case Fault::KeepsItsRate:
        serve(FaultServer::Mode::KeepsItsRate, "rfc2217");
        break;
    case Fault::LeavesSettingsUnanswered:
        serve(FaultServer::Mode::LeavesSettingsUnanswered, "rfc2217");
        break;
    case Fault::SecondClient: {
        lone = std::make_unique<SimulatedDevice>();
        loneRaw = std::make_unique<SimulatedDevice>();
        oneClient = std::make_unique<Ser2net>(lone->devicePath(), loneRaw->devicePath(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(oneClient->listening(), kEndMs);
        url = oneClient->rfc2217Url();
        // The first client holds the port for the whole case.
        holder = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in address{
            AF_INET, htons(oneClient->rfc2217Port()), {htonl(INADDR_LOOPBACK)}, {}};
        QCOMPARE(::connect(holder, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        break;
    }
    }
    const auto closeHolder = qScopeGuard([holder] {
        if (holder >= 0)
            ::close(holder);
    });

    {
        PortMapOverride map(url);
        SerialControl port;
        // Twice: a notice is said once, the failure every time.
        for (int round = 0; round < 2; ++round) {
            const Outcome outcome = exchangeOn(port, kLoaderAbc);
            const ExchangeRecord& record = outcome.record;
            QVERIFY2(record.word() == word, qPrintable(record.error + " " + record.reply.toHex()));
            QVERIFY2(record.reply.startsWith(kept), record.reply.toHex().constData());
            QVERIFY(record.reply.size() <= NetworkLine::kReceiveLimit);
            if (word == QLatin1String("Port Disorder")) {
                QVERIFY2(record.error.startsWith(url + QLatin1String(": ")),
                         qPrintable(record.error));
                QVERIFY2(record.error.contains(reason), qPrintable(record.error));
            } else if (!reason.isEmpty()) {
                QCOMPARE(outcome.warnings.size(), round == 0 ? 1 : 0);
                if (round == 0)
                    QVERIFY2(outcome.warnings[0].contains(reason), qPrintable(outcome.warnings[0]));
            }
            QVERIFY(!port.portOpen());
        }
        // The line connects again for the next exchange, to a server that works.
        PortMapOverride good(m_server->rfc2217Url());
        QCOMPARE(exchangeOn(port, kLoaderAbc).record.word(), QStringLiteral("ACK"));
    }

    const CommandResult result =
        runCommand({"send", "--device", url, "--console", "loader", "ABC"});
    QCOMPARE(result.status, status);
    if (!reason.isEmpty())
        QVERIFY2(result.err.contains(reason.toUtf8()), result.err.constData());
    if (status == 4)
        QVERIFY2(result.err.contains(url.toUtf8()), result.err.constData());
}

void TestNetworkPorts::aConsoleStaysLiveWhileItConnects()
{
    FaultServer unanswering(FaultServer::Mode::Unanswering);
    PortMapOverride map(QStringLiteral("rfc2217://127.0.0.1:%1").arg(unanswering.port()));
    RecordingServices services;
    ShownConsole<LoaderWindow> c;
    c.type(QStringLiteral("ABC"));
    c.clickSend();
    // Send came back with the connection still being made, and the window goes on handling
    // events while it is.
    QVERIFY(c.busy());
    bool handled = false;
    QTimer::singleShot(0, c.window, [&handled] { handled = true; });
    QTRY_VERIFY(handled);
    QVERIFY(c.busy());
    QTRY_VERIFY_WITH_TIMEOUT(!c.busy(), kEndMs);
    QCOMPARE(services.boxes().size(), 1);
    QCOMPARE(services.boxes()[0].text, QStringLiteral("Port Disorder"));
    QVERIFY2(services.boxes()[0].detail.contains(QLatin1String("no connection within 3 s")),
             qPrintable(services.boxes()[0].detail));
}

QTEST_MAIN(TestNetworkPorts)
#include "tst_network_ports.moc"
