// The command line: the options it takes and refuses, the status a refusal ends with, and how it
// maps ports 1 and 2, for real devices and for the demo's simulated ones.

#include "CommandProcess.h"
#include "app/CommandLine.h"
#include "serial/PortMap.h"
#include "serial/SerialControl.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QtTest>

namespace {

CommandLine parse(const QStringList& options)
{
    return parseCommandLine(QStringList{"rs232c-tester"} + options);
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void plainStart();
    void actions_data();
    void actions();
    void refused_data();
    void refused();
    void refusalEndsWithTheUsageStatus();
    void qtOptionsArePassedOver_data();
    void qtOptionsArePassedOver();
    void demoReplies_data();
    void demoReplies();
    void portsMapToTheGivenDevices();
    void portsDefaultToTheSystemsOwn();
    void demoPortsReachTheSimulatedDevices();
};

void TestCommandLine::cleanup()
{
    PortMap::setDevice(1, QString());
    PortMap::setDevice(2, QString());
}

void TestCommandLine::plainStart()
{
    const CommandLine options = parse({});
    QCOMPARE(options.action, CommandLine::Action::Run);
    QVERIFY(options.com1.isEmpty());
    QVERIFY(options.com2.isEmpty());
    QVERIFY(!options.demo);
}

void TestCommandLine::actions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<CommandLine::Action>("action");
    QTest::newRow("--help") << QStringList{"--help"} << CommandLine::Action::Help;
    QTest::newRow("-h") << QStringList{"-h"} << CommandLine::Action::Help;
    QTest::newRow("help wins") << QStringList{"--com1", "/dev/x", "-h"}
                               << CommandLine::Action::Help;
    QTest::newRow("--version") << QStringList{"--version"} << CommandLine::Action::Version;
    QTest::newRow("-v") << QStringList{"-v"} << CommandLine::Action::Version;
}

void TestCommandLine::actions()
{
    QFETCH(QStringList, arguments);
    QFETCH(CommandLine::Action, action);
    QCOMPARE(parse(arguments).action, action);
}

void TestCommandLine::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named"); // what the error must name

    QTest::newRow("unknown option") << QStringList{"--baud", "9600"} << "baud";
    QTest::newRow("stray argument") << QStringList{"/dev/ttyUSB0"} << "/dev/ttyUSB0";
    QTest::newRow("device missing") << QStringList{"--com1"} << "com1";
    QTest::newRow("log file missing") << QStringList{"--log"} << "log";
    QTest::newRow("bad reply mode") << QStringList{"--demo", "--demo-reply", "ok"} << "'ok'";
    QTest::newRow("a blank splitting a hex pair")
        << QStringList{"--demo", "--demo-reply", "hex:06 0 4"} << "hex:06 0 4";
    QTest::newRow("hex that is none")
        << QStringList{"--demo", "--demo-reply", "hex:zz"} << "hex:zz";
    QTest::newRow("delay no number") << QStringList{"--demo", "--demo-delay", "soon"} << "soon";
    QTest::newRow("delay negative") << QStringList{"--demo", "--demo-delay", "-5"} << "-5";
    QTest::newRow("delay past an hour")
        << QStringList{"--demo", "--demo-delay", "3600001"} << "from 0 to 3600000";
    QTest::newRow("reply without demo") << QStringList{"--demo-reply", "ack"} << "--demo";
    QTest::newRow("delay without demo") << QStringList{"--demo-delay", "10"} << "--demo";
    QTest::newRow("demo and a device")
        << QStringList{"--demo", "--com2", "/dev/ttyUSB1"} << "--com2";
}

void TestCommandLine::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    const CommandLine options = parse(arguments);
    QCOMPARE(options.action, CommandLine::Action::Refuse);
    QVERIFY2(options.error.contains(named), qPrintable(options.error));
}

// As rs232c does (sysexits), and --help, which the manual page is made from, says so. Neither
// needs a display.
void TestCommandLine::refusalEndsWithTheUsageStatus()
{
    QProcess refused;
    startCommand(refused, RS232C_TESTER_EXECUTABLE, {"--baud", "9600"});
    const CommandResult refusal = resultOf(refused);
    QCOMPARE(refusal.status, 64);
    QVERIFY2(refusal.err.contains("baud"), refusal.err.constData());
    QVERIFY(refusal.err.contains("Try 'rs232c-tester --help'."));
    QVERIFY(refusal.out.isEmpty());

    QProcess help;
    startCommand(help, RS232C_TESTER_EXECUTABLE, {"--help"});
    const CommandResult helpText = resultOf(help);
    QCOMPARE(helpText.status, 0);
    const QByteArray statuses = helpText.out.mid(helpText.out.indexOf("\nExit status:\n"));
    QVERIFY2(statuses.contains("\n  64 The command line was refused"), helpText.out.constData());
}

void TestCommandLine::qtOptionsArePassedOver_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("-platform") << QStringList{"-platform", "offscreen", "--com1", "/dev/x"};
    QTest::newRow("--style, -reverse")
        << QStringList{"--style", "fusion", "-reverse", "--com1", "/dev/x"};
    QTest::newRow("-style=") << QStringList{"--com1", "/dev/x", "-style=fusion"};
    QTest::newRow("-qwindowgeometry")
        << QStringList{"-qwindowgeometry", "100x100+0+0", "--com1", "/dev/x", "-widgetcount"};
}

// Qt's own options are left to QApplication; ours around them still count.
void TestCommandLine::qtOptionsArePassedOver()
{
    QFETCH(QStringList, arguments);
    const CommandLine options = parse(arguments);
    QCOMPARE(options.action, CommandLine::Action::Run);
    QCOMPARE(options.com1, "/dev/x");

    const CommandLine stray = parse(arguments + QStringList{"/dev/ttyUSB0"});
    QCOMPARE(stray.action, CommandLine::Action::Refuse);
    QVERIFY(stray.error.contains("/dev/ttyUSB0"));
}

void TestCommandLine::demoReplies_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<SimulatedDevice::Mode>("mode");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("delayMs");

    QTest::newRow("default") << QStringList{"--demo"} << SimulatedDevice::Mode::Protocol
                             << QByteArray() << 0;
    QTest::newRow("nak, delayed") << QStringList{"--demo", "--demo-reply", "nak", "--demo-delay",
                                                 "250"}
                                  << SimulatedDevice::Mode::Nak << QByteArray() << 250;
    QTest::newRow("silent") << QStringList{"--demo-reply", "silent", "--demo"}
                            << SimulatedDevice::Mode::Silent << QByteArray() << 0;
    QTest::newRow("fixed bytes") << QStringList{"--demo", "--demo-reply", "hex:0604"}
                                 << SimulatedDevice::Mode::Bytes << QByteArray("\x06\x04") << 0;
    // Read as the hex view reads hex digits, blanks between pairs and all.
    QTest::newRow("fixed bytes with a blank")
        << QStringList{"--demo", "--demo-reply", "hex:06 04"} << SimulatedDevice::Mode::Bytes
        << QByteArray("\x06\x04") << 0;
}

void TestCommandLine::demoReplies()
{
    QFETCH(QStringList, arguments);
    QFETCH(SimulatedDevice::Mode, mode);
    QFETCH(QByteArray, bytes);
    QFETCH(int, delayMs);

    const CommandLine options = parse(arguments);
    QCOMPARE(options.action, CommandLine::Action::Run);
    QVERIFY(options.demo);
    const auto devices = mapPorts(options);
    QCOMPARE(devices.size(), std::size_t(2));
    for (const auto& device : devices) {
        QCOMPARE(device->behaviour().mode, mode);
        QCOMPARE(device->behaviour().bytes, bytes);
        QCOMPARE(device->behaviour().delayMs, delayMs);
    }
}

// A bare name is a device under /dev, as Qt Serial Port opens it; a relative path is made
// absolute, so that the port map holds what is opened; a network name stays as it is.
void TestCommandLine::portsMapToTheGivenDevices()
{
    const CommandLine options = parse({"--com1", "ttyUSB0", "--com2=./ttyACM3"});
    QCOMPARE(options.action, CommandLine::Action::Run);
    QVERIFY(mapPorts(options).empty());
    QCOMPARE(PortMap::device(1), "/dev/ttyUSB0");
    QCOMPARE(PortMap::device(2), QDir::current().absoluteFilePath("ttyACM3"));

    // A network port's name is kept as it is given.
    QVERIFY(mapPorts(parse({"--com1", "rfc2217://rack7:4001", "--com2", "socket://[::1]:5000"}))
                .empty());
    QCOMPARE(PortMap::device(1), "rfc2217://rack7:4001");
    QCOMPARE(PortMap::device(2), "socket://[::1]:5000");

    // One given, the other stays the system's own.
    QVERIFY(mapPorts(parse({"--com2", "/dev/ttyUSB1"})).empty());
    QCOMPARE(PortMap::device(1), PortMap::defaultDevice(1));
    QCOMPARE(PortMap::device(2), "/dev/ttyUSB1");
}

void TestCommandLine::portsDefaultToTheSystemsOwn()
{
    PortMap::setDevice(1, "/dev/elsewhere");
    PortMap::setDevice(2, "/dev/elsewhere");
    QVERIFY(mapPorts(parse({})).empty());
    QCOMPARE(PortMap::device(1), PortMap::defaultDevice(1));
    QCOMPARE(PortMap::device(2), PortMap::defaultDevice(2));
}

void TestCommandLine::demoPortsReachTheSimulatedDevices()
{
    const auto devices = mapPorts(parse({"--demo", "--demo-reply", "hex:4F4B"}));
    QCOMPARE(devices.size(), std::size_t(2));
    QVERIFY(devices[0]->devicePath() != devices[1]->devicePath());

    for (int port = 1; port <= 2; ++port) {
        SimulatedDevice& device = *devices[port - 1];
        QCOMPARE(PortMap::device(port), device.devicePath());
        QVERIFY(QFileInfo::exists(device.devicePath()));

        // What port n sends arrives at device n, and its answer comes back.
        SerialControl serial;
        serial.setCommPort(port);
        serial.setSettings("38400,n,8,1");
        serial.setPortOpen(true);
        serial.setOutput(QByteArray("\x05Port") + char('0' + port) + '\x04');
        QByteArray reply;
        QElapsedTimer clock;
        clock.start();
        while (reply.size() < 2 && clock.elapsed() < 5000) {
            serial.outputDrained();
            if (serial.waitForInput(20))
                reply += serial.input();
        }
        serial.setPortOpen(false);
        QCOMPARE(reply, QByteArray("OK"));
        QCOMPARE(device.received(), QByteArray("\x05Port") + char('0' + port) + '\x04');
        QVERIFY(devices[2 - port]->received().isEmpty());
        device.clearReceived();
    }
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
