// The serial control over real pseudo-terminals: the test plays the far end of the line by
// hand and checks what the program put on it.

#include "AsOrdinaryUser.h"
#include "PortMapOverride.h"
#include "PtyPair.h"

#include "serial/PortMap.h"
#include "serial/SerialControl.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

SerialError::Kind failureKind(const std::function<void()>& action)
{
    try {
        action();
    } catch (const SerialError& error) {
        return error.kind();
    }
    return SerialError::Kind(-1);
}

QString failureReason(const std::function<void()>& action)
{
    try {
        action();
    } catch (const SerialError& error) {
        return error.reason();
    }
    return {};
}

// Pushes the control's output until it says drained, reading the far end meanwhile.
QByteArray drainTo(SerialControl& control, PtyPair& pair, qsizetype expected)
{
    QByteArray arrived;
    QElapsedTimer clock;
    clock.start();
    while (!control.outputDrained() && clock.elapsed() < 10000)
        arrived += pair.read(expected - arrived.size(), 1);
    return arrived + pair.read(expected - arrived.size(), 2000);
}

// Runs the event loop for a number of passes without waiting in any: news that comes again on
// every pass shows up that many times.
void runEventLoopPasses(int passes = 100)
{
    for (int pass = 0; pass < passes; ++pass)
        QCoreApplication::processEvents();
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes += char(value);
    return bytes;
}

} // namespace

class SerialControlTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void bytesArriveExactlyAndInOrder_data();
    void bytesArriveExactlyAndInOrder();
    void outputDrainedOnlyOnceBytesLeft();
    void piecesGoOnWhileTheFarEndLags();
    void farEndBytesAreReadOnePerInput();
    void inputLenZeroTakesEverything();
    void emptyReadIsNoFailure();
    void inputArrivedComesFromTheEventLoop();
    void inputLeftWhileClosedIsDiscarded();

    void settingsReachTheLine_data();
    void settingsReachTheLine();
    void settingsAssignedWhileOpenApplyAtOnce();
    void refusedSettingsLeaveTheLineAsItWas();
    void badSettingsNameTheField_data();
    void badSettingsNameTheField();
    void oneAndAHalfStopBitsNeedFiveDataBits();

    void missingDeviceIsNotFound();
    void secondControlOnTheSameDeviceIsBusy();
    void exclusiveHolderMakesTheDeviceBusy();
    void deniedDeviceIsPermission_data();
    void deniedDeviceIsPermission();
    void aLinkLocksTheDeviceItLeadsTo();
    void regularFileIsNoSerialDevice();
    void propertiesAndStateRules();
    void destroyingAnOpenControlReleasesTheDevice();

    void farEndClosingWhileOpen();
    void farEndClosingDuringAWait();

private:
    std::unique_ptr<PtyPair> m_pair;
    std::unique_ptr<PortMapOverride> m_map;
    std::unique_ptr<SerialControl> m_control;
    void openControl(const QString& settings = QStringLiteral("38400,n,8,1"));
};

void SerialControlTest::init()
{
    m_pair = std::make_unique<PtyPair>();
    m_map = std::make_unique<PortMapOverride>(m_pair->devicePath());
    m_control = std::make_unique<SerialControl>();
}

void SerialControlTest::cleanup()
{
    m_control.reset();
    m_map.reset();
    m_pair.reset();
}

void SerialControlTest::openControl(const QString& settings)
{
    m_control->setCommPort(1);
    m_control->setSettings(settings);
    m_control->setInputLen(1);
    m_control->setPortOpen(true);
}

void SerialControlTest::bytesArriveExactlyAndInOrder_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("every byte value") << allByteValues();
    QTest::newRow("Loader frame") << QByteArray::fromHex("024142383303");
    QByteArray longFrame;
    for (int i = 0; i < 40; ++i)
        longFrame += allByteValues();
    QTest::newRow("long frame of 10240 bytes") << longFrame;
}

void SerialControlTest::bytesArriveExactlyAndInOrder()
{
    QFETCH(QByteArray, bytes);
    openControl();
    m_control->setOutput(bytes);
    QCOMPARE(drainTo(*m_control, *m_pair, bytes.size()), bytes);
    QCOMPARE(m_pair->read(1, 50), QByteArray());
}

void SerialControlTest::outputDrainedOnlyOnceBytesLeft()
{
    openControl();
    // Far more than the kernel holds while the far end reads nothing.
    const QByteArray bytes(512 * 1024, 'x');
    m_control->setOutput(bytes);
    for (int i = 0; i < 20; ++i)
        QVERIFY(!m_control->outputDrained());

    QByteArray arrived;
    while (!m_control->outputDrained())
        arrived += m_pair->read(bytes.size() - arrived.size(), 1);
    QVERIFY(arrived.size() < bytes.size());
    // Drained means the program holds nothing more: the rest comes without another call.
    arrived += m_pair->read(bytes.size() - arrived.size(), 5000);
    QCOMPARE(arrived.size(), bytes.size());
    QVERIFY(m_control->outputDrained());
}

// As rs232c monitor passes a host's burst on: a piece each time other news wakes the program (here
// the far end saying it read some), a far end that reads less at a time than the program writes,
// nobody waiting for the line to drain. A driver queue found full is no device gone, and no byte
// is lost.
void SerialControlTest::piecesGoOnWhileTheFarEndLags()
{
    int news[2];
    QVERIFY(::pipe2(news, O_NONBLOCK | O_CLOEXEC) == 0);
    const auto closeNews = qScopeGuard([&] {
        ::close(news[0]);
        ::close(news[1]);
    });
    QSocketNotifier newsArrived(news[0], QSocketNotifier::Read);
    openControl();
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes += allByteValues();
    QByteArray arrived;
    std::atomic<bool> farEndDone = false;
    std::thread farEnd([&] {
        for (QByteArray got; arrived.size() < bytes.size(); arrived += got) {
            got = readFor(m_pair->farEndHandle(), 64, 10000);
            if (got.isEmpty())
                break;
            [[maybe_unused]] const ssize_t told = ::write(news[1], "r", 1);
        }
        farEndDone = true;
    });
    QString failure;
    qsizetype sent = 0;
    const auto sendPiece = [&] {
        char drained[256];
        while (::read(news[0], drained, sizeof drained) > 0) {
        }
        if (sent >= bytes.size() || !failure.isEmpty())
            return;
        try {
            m_control->setOutput(bytes.mid(sent, 16384));
            m_control->outputLeft();
        } catch (const SerialError& error) {
            failure = error.reason();
        }
        sent += 16384;
    };
    connect(&newsArrived, &QSocketNotifier::activated, this, sendPiece);
    sendPiece();
    // The event loop runs until the far end has all or gives up: what the driver could not take
    // yet goes on from there.
    QTRY_VERIFY_WITH_TIMEOUT(farEndDone, 30000);
    farEnd.join();
    QCOMPARE(failure, QString());
    QCOMPARE(arrived.size(), bytes.size());
    QVERIFY(arrived == bytes);
}

void SerialControlTest::farEndBytesAreReadOnePerInput()
{
    openControl();
    const QByteArray reply = QByteArray::fromHex("0641424304");
    m_pair->write(reply);
    QVERIFY(m_control->waitForInput(2000));
    QByteArray collected;
    for (int i = 0; i < reply.size(); ++i) {
        if (!m_control->inputWaiting())
            m_control->waitForInput(1000);
        const QByteArray one = m_control->input();
        QCOMPARE(one.size(), 1);
        collected += one;
    }
    QCOMPARE(collected, reply);
    QCOMPARE(m_control->input(), QByteArray());
}

void SerialControlTest::inputLenZeroTakesEverything()
{
    openControl();
    m_control->setInputLen(0);
    m_pair->write("hello");
    QByteArray collected;
    QElapsedTimer clock;
    clock.start();
    while (collected.size() < 5 && clock.elapsed() < 5000) {
        m_control->waitForInput(100);
        collected += m_control->input();
    }
    QCOMPARE(collected, QByteArray("hello"));
}

void SerialControlTest::emptyReadIsNoFailure()
{
    openControl();
    QCOMPARE(m_control->input(), QByteArray());
    QVERIFY(!m_control->inputWaiting());
    QVERIFY(!m_control->waitForInput(20));
    QVERIFY(m_control->portOpen());
    m_pair->write("Z");
    QVERIFY(m_control->waitForInput(2000));
    QCOMPARE(m_control->input(), QByteArray("Z"));
}

void SerialControlTest::inputArrivedComesFromTheEventLoop()
{
    openControl();
    QSignalSpy arrived(m_control.get(), &SerialControl::inputArrived);
    m_pair->write("\x06");
    QTRY_VERIFY(arrived.count() >= 1);
    QCOMPARE(m_control->input(), QByteArray("\x06"));

    // A byte taken in by a blocking wait is no news for the event loop.
    arrived.clear();
    m_pair->write("\x15");
    QVERIFY(m_control->waitForInput(2000));
    QCOMPARE(m_control->input(), QByteArray("\x15"));
    runEventLoopPasses();
    QCOMPARE(arrived.count(), 0);
}

void SerialControlTest::inputLeftWhileClosedIsDiscarded()
{
    // Written while no one had the port open: the driver keeps it.
    m_pair->write("stale");
    openControl();
    QCOMPARE(m_control->input(), QByteArray());
    QVERIFY(!m_control->waitForInput(50));

    // Received but never read before a close: gone at the next open too.
    m_pair->write("old reply");
    QVERIFY(m_control->waitForInput(2000));
    m_control->setPortOpen(false);
    m_control->setPortOpen(true);
    QVERIFY(!m_control->waitForInput(50));

    m_pair->write("new");
    QVERIFY(m_control->waitForInput(2000));
    QCOMPARE(m_control->input(), QByteArray("n"));
}

void SerialControlTest::settingsReachTheLine_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("line");
    QTest::newRow("Loader form") << "38400,n,8,1"
                                 << "8N1 at 38400";
    QTest::newRow("Dedicated form") << "19200, n, 8, 1"
                                    << "8N1 at 19200";
    for (const int rate : {9600, 19200, 38400, 56000, 57600, 76800, 115200, 128000}) {
        QTest::addRow("%d, n, 8, 1", rate)
            << QStringLiteral("%1, n, 8, 1").arg(rate) << QStringLiteral("8N1 at %1").arg(rate);
    }
    QTest::newRow("even, 7 bits, 2 stop") << "2400,e,7,2"
                                          << "7E2 at 2400";
    QTest::newRow("upper-case odd, 6 bits") << " 4800 , O , 6 , 1 "
                                            << "6O1 at 4800";
    QTest::newRow("mark") << "1200,m,8,1"
                          << "8M1 at 1200";
    QTest::newRow("space") << "1200,S,8,1"
                           << "8S1 at 1200";
    QTest::newRow("5 bits, 1.5 stop") << "300,n,5,1.5"
                                      << "5N2 at 300";
}

void SerialControlTest::settingsReachTheLine()
{
    QFETCH(QString, settings);
    QFETCH(QString, line);
    const int dataBits = line[0].digitValue();
    const char parity = line[1].toLatin1();
    const bool twoStopBits = line[2] == QLatin1Char('2');
    if (!m_pair->takes(dataBits, parity, twoStopBits)) {
        // This kernel's pty cannot do the format: the control must say so, not open anyway.
        const auto open = [&] { openControl(settings); };
        QCOMPARE(failureKind(open), SerialError::Kind::Refused);
        QVERIFY(!m_control->portOpen());
        return;
    }
    openControl(settings);
    const LineState state = m_pair->lineState();
    QCOMPARE(state.summary(), line);
    QVERIFY(!state.hardwareFlow);
    QVERIFY(!state.softwareFlow);
    QCOMPARE(m_control->settings(), settings);
}

void SerialControlTest::settingsAssignedWhileOpenApplyAtOnce()
{
    openControl(QStringLiteral("9600,n,8,2"));
    QCOMPARE(m_pair->lineState().summary(), QStringLiteral("8N2 at 9600"));
    m_control->setSettings(QStringLiteral("76800, n, 8, 1"));
    QCOMPARE(m_pair->lineState().summary(), QStringLiteral("8N1 at 76800"));
    m_control->setSettings(QStringLiteral("115200,n,8,1"));
    QCOMPARE(m_pair->lineState().summary(), QStringLiteral("8N1 at 115200"));
}

void SerialControlTest::refusedSettingsLeaveTheLineAsItWas()
{
    struct Format {
        int dataBits;
        char parity;
    };
    const Format candidates[] = {{7, 'E'}, {8, 'E'}, {8, 'O'}, {7, 'N'}, {5, 'N'}};
    const auto refused = std::find_if(std::begin(candidates), std::end(candidates), [&](Format f) {
        return !m_pair->takes(f.dataBits, f.parity, false);
    });
    if (refused == std::end(candidates))
        QSKIP("this kernel's pty takes every format");
    const QString settings = QStringLiteral("9600,%1,%2,1")
                                 .arg(QChar::fromLatin1(refused->parity).toLower())
                                 .arg(refused->dataBits);

    openControl(QStringLiteral("38400,n,8,1"));
    const auto assign = [&] { m_control->setSettings(settings); };
    QCOMPARE(failureKind(assign), SerialError::Kind::Refused);
    QVERIFY2(failureReason(assign).contains(settings), qPrintable(failureReason(assign)));
    // The rate went through before the refused field; it is back as Settings says.
    QCOMPARE(m_pair->lineState().summary(), QStringLiteral("8N1 at 38400"));
    QCOMPARE(m_control->settings(), QStringLiteral("38400,n,8,1"));
    QVERIFY(m_control->portOpen());
    m_control->setOutput("ok");
    QCOMPARE(drainTo(*m_control, *m_pair, 2), QByteArray("ok"));
}

void SerialControlTest::badSettingsNameTheField_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("named");
    QTest::newRow("empty") << ""
                           << "four fields";
    QTest::newRow("baud only") << "38400"
                               << "four fields";
    QTest::newRow("five fields") << "38400,n,8,1,1"
                                 << "four fields";
    QTest::newRow("letters for baud") << "fast,n,8,1"
                                      << "baud rate \"fast\"";
    QTest::newRow("zero baud") << "0,n,8,1"
                               << "baud rate \"0\"";
    QTest::newRow("negative baud") << "-9600,n,8,1"
                                   << "baud rate \"-9600\"";
    QTest::newRow("baud beyond 32 bits") << "99999999999,n,8,1"
                                         << "baud rate \"99999999999\"";
    QTest::newRow("empty baud") << ",n,8,1"
                                << "baud rate \"\"";
    QTest::newRow("parity x") << "9600,x,8,1"
                              << "parity \"x\"";
    QTest::newRow("parity word") << "9600, none, 8, 1"
                                 << "parity \"none\"";
    QTest::newRow("9 data bits") << "9600,n,9,1"
                                 << "data bits \"9\"";
    QTest::newRow("4 data bits") << "9600,n,4,1"
                                 << "data bits \"4\"";
    QTest::newRow("3 stop bits") << "9600,n,8,3"
                                 << "stop bits \"3\"";
    QTest::newRow("0 stop bits") << "9600,n,8,0"
                                 << "stop bits \"0\"";
}

void SerialControlTest::badSettingsNameTheField()
{
    QFETCH(QString, settings);
    QFETCH(QString, named);
    const auto assign = [&] { m_control->setSettings(settings); };
    QCOMPARE(failureKind(assign), SerialError::Kind::BadSettings);
    QVERIFY2(failureReason(assign).contains(named), qPrintable(failureReason(assign)));
    QCOMPARE(m_control->settings(), QStringLiteral("9600,n,8,1"));

    // Open, a bad text changes nothing on the line either.
    openControl(QStringLiteral("19200,n,8,1"));
    QCOMPARE(failureKind(assign), SerialError::Kind::BadSettings);
    QCOMPARE(m_pair->lineState().summary(), QStringLiteral("8N1 at 19200"));
    QCOMPARE(m_control->settings(), QStringLiteral("19200,n,8,1"));
}

void SerialControlTest::oneAndAHalfStopBitsNeedFiveDataBits()
{
    // Parsed, but no line can do it: refused at the open, which leaves the port closed.
    m_control->setSettings(QStringLiteral("9600,n,8,1.5"));
    const auto open = [&] { m_control->setPortOpen(true); };
    QCOMPARE(failureKind(open), SerialError::Kind::Refused);
    QVERIFY(!m_control->portOpen());

    // Assigned while open: refused, the line and Settings stay as they were.
    openControl(QStringLiteral("38400,n,8,1"));
    const auto assign = [&] { m_control->setSettings(QStringLiteral("38400,n,7,1.5")); };
    QCOMPARE(failureKind(assign), SerialError::Kind::Refused);
    QVERIFY(failureReason(assign).contains(QStringLiteral("1.5 stop bits")));
    QVERIFY(m_control->portOpen());
    QCOMPARE(m_control->settings(), QStringLiteral("38400,n,8,1"));
    QCOMPARE(m_pair->lineState().summary(), QStringLiteral("8N1 at 38400"));
}

void SerialControlTest::missingDeviceIsNotFound()
{
    const PortMapOverride missing(QStringLiteral("/dev/ttyNoSuchDevice7"));
    const auto open = [&] { openControl(); };
    QCOMPARE(failureKind(open), SerialError::Kind::NotFound);
    QCOMPARE(failureReason(open),
             QStringLiteral("/dev/ttyNoSuchDevice7: No such file or directory"));
    QVERIFY(!m_control->portOpen());
}

void SerialControlTest::secondControlOnTheSameDeviceIsBusy()
{
    openControl();
    SerialControl second;
    second.setCommPort(1);
    const auto open = [&] { second.setPortOpen(true); };
    QCOMPARE(failureKind(open), SerialError::Kind::Busy);
    QVERIFY(failureReason(open).startsWith(m_pair->devicePath()));
    QVERIFY(!second.portOpen());

    // The holder is untouched and, once it lets go, the device is free.
    m_pair->write("A");
    QVERIFY(m_control->waitForInput(2000));
    QCOMPARE(m_control->input(), QByteArray("A"));
    m_control->setPortOpen(false);
    second.setPortOpen(true);
    QVERIFY(second.portOpen());
}

void SerialControlTest::exclusiveHolderMakesTheDeviceBusy()
{
    // Another program holds the device with TIOCEXCL, as Qt and most terminals do.
    QCOMPARE(::chmod(QFile::encodeName(m_pair->devicePath()).constData(), 0666), 0);
    QCOMPARE(::ioctl(m_pair->deviceHandle(), TIOCEXCL), 0);
    const auto open = [&] { openControl(); };
    SerialError::Kind kind;
    {
        const AsOrdinaryUser user;
        if (!user.active())
            QSKIP("cannot leave root to make TIOCEXCL bite");
        kind = failureKind(open);
    }
    QCOMPARE(kind, SerialError::Kind::Busy);
    QVERIFY(!m_control->portOpen());
}

void SerialControlTest::deniedDeviceIsPermission_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("hint"); // how the reason says to get access
    QTest::newRow("no access at all") << 0 << "tty"
                                      << "Ask the administrator";
    QTest::newRow("the group's device")
        << 0660 << "dialout"
        << "belongs to the group dialout: join it with \"sudo adduser";
}

void SerialControlTest::deniedDeviceIsPermission()
{
    QFETCH(int, mode);
    QFETCH(QString, group);
    QFETCH(QString, hint);
    const QByteArray path = QFile::encodeName(m_pair->devicePath());
    const ::group* owner = ::getgrnam(group.toLocal8Bit().constData());
    if (!owner)
        QSKIP("no such group here");
    QCOMPARE(::chown(path.constData(), 0, owner->gr_gid), 0);
    QCOMPARE(::chmod(path.constData(), mode_t(mode)), 0);
    const auto open = [&] { openControl(); };
    SerialError::Kind kind;
    QString reason;
    {
        const AsOrdinaryUser user;
        if (!user.active())
            QSKIP("cannot leave root, which passes every permission check");
        kind = failureKind(open);
        reason = failureReason(open);
    }
    QCOMPARE(kind, SerialError::Kind::Permission);
    QVERIFY2(reason.startsWith(m_pair->devicePath() + QStringLiteral(": Permission denied. ")),
             qPrintable(reason));
    QVERIFY2(reason.contains(hint), qPrintable(reason));
    QVERIFY(!m_control->portOpen());
}

// A stable name (a link) opens as the device it leads to, so the lock carries the device's own
// name and a program that opens the device by that name sees it busy.
void SerialControlTest::aLinkLocksTheDeviceItLeadsTo()
{
    QTemporaryDir folder;
    const QString link = folder.filePath(QStringLiteral("usb-Adapter_A1-if00-port0"));
    QVERIFY(QFile::link(m_pair->devicePath(), link));
    const PortMapOverride toLink(link);
    openControl();
    const QString lockName = QStringLiteral("LCK..") + m_pair->devicePath().mid(5).replace(
                                                           QLatin1Char('/'), QLatin1Char('_'));
    QVERIFY(QFileInfo::exists(QStringLiteral("/run/lock/") + lockName));
    QVERIFY(
        QDir(QStringLiteral("/run/lock")).entryList({QStringLiteral("*usb-Adapter*")}).isEmpty());
    m_pair->write("A");
    QVERIFY(m_control->waitForInput(2000));
    QCOMPARE(m_control->input(), QByteArray("A"));
}

void SerialControlTest::regularFileIsNoSerialDevice()
{
    QTemporaryFile file;
    QVERIFY(file.open());
    const PortMapOverride toFile(file.fileName());
    const auto open = [&] { openControl(); };
    QCOMPARE(failureKind(open), SerialError::Kind::Io);
    QVERIFY(failureReason(open).contains(QStringLiteral("not a serial device")));
    QVERIFY(!m_control->portOpen());
}

void SerialControlTest::propertiesAndStateRules()
{
    QCOMPARE(failureKind([&] { m_control->setCommPort(3); }), SerialError::Kind::BadPort);
    QCOMPARE(failureKind([&] { m_control->setCommPort(0); }), SerialError::Kind::BadPort);
    QCOMPARE(m_control->commPort(), 1);

    // Closed: reading and writing fail, closing again does not.
    QCOMPARE(failureKind([&] { m_control->input(); }), SerialError::Kind::NotOpen);
    QCOMPARE(failureKind([&] { m_control->setOutput("x"); }), SerialError::Kind::NotOpen);
    QCOMPARE(failureKind([&] { m_control->outputDrained(); }), SerialError::Kind::NotOpen);
    QVERIFY(!m_control->inputWaiting());
    m_control->setPortOpen(false);

    openControl();
    QCOMPARE(failureKind([&] { m_control->setPortOpen(true); }), SerialError::Kind::Io);
    QVERIFY(failureReason([&] { m_control->setPortOpen(true); }).contains("already open"));
    QCOMPARE(failureKind([&] { m_control->setCommPort(2); }), SerialError::Kind::Io);
    QVERIFY(m_control->portOpen());
    m_control->setPortOpen(false);
    m_control->setPortOpen(false);
    QVERIFY(!m_control->portOpen());

    // Port 2 is a different device.
    PtyPair other;
    const PortMapOverride both(m_pair->devicePath(), other.devicePath());
    m_control->setCommPort(2);
    m_control->setPortOpen(true);
    m_control->setOutput("2");
    QCOMPARE(drainTo(*m_control, other, 1), QByteArray("2"));
    QCOMPARE(m_pair->read(1, 20), QByteArray());
}

void SerialControlTest::destroyingAnOpenControlReleasesTheDevice()
{
    openControl();
    m_control.reset();
    SerialControl next;
    next.setCommPort(1);
    next.setPortOpen(true);
    QVERIFY(next.portOpen());
}

void SerialControlTest::farEndClosingWhileOpen()
{
    openControl();
    auto* port = m_control->findChild<QSerialPort*>();
    QVERIFY(port);
    QSignalSpy errors(port, &QSerialPort::errorOccurred);
    QSignalSpy vanished(m_control.get(), &SerialControl::vanished);

    m_pair->write("AB");
    QTRY_VERIFY(m_control->inputWaiting());
    m_pair->closeFarEnd();
    QTRY_COMPARE(vanished.count(), 1);
    // A control that kept the port open would see ReadError again on every pass.
    runEventLoopPasses();
    QCOMPARE(vanished.count(), 1);
    QVERIFY2(errors.count() < 5, qPrintable(QString::number(errors.count())));
    QVERIFY(!m_control->portOpen());

    // What had arrived is still handed out, then the control says why it stopped.
    QCOMPARE(m_control->input(), QByteArray("A"));
    QVERIFY(m_control->inputWaiting());
    QCOMPARE(m_control->input(), QByteArray("B"));
    QCOMPARE(failureKind([&] { m_control->input(); }), SerialError::Kind::Vanished);
    QVERIFY(failureReason([&] { m_control->input(); }).startsWith(m_pair->devicePath()));
    QCOMPARE(failureKind([&] { m_control->setOutput("x"); }), SerialError::Kind::Vanished);
    QCOMPARE(failureKind([&] { m_control->outputDrained(); }), SerialError::Kind::Vanished);
    QVERIFY(!m_control->waitForInput(1000));

    // The console's closing step after a failure is no failure itself.
    m_control->setPortOpen(false);
    QCOMPARE(failureKind([&] { m_control->input(); }), SerialError::Kind::NotOpen);
}

void SerialControlTest::farEndClosingDuringAWait()
{
    openControl();
    QSignalSpy vanished(m_control.get(), &SerialControl::vanished);
    m_pair->write("\x06");
    QTRY_VERIFY(m_control->inputWaiting());
    QCOMPARE(m_control->input(), QByteArray("\x06"));
    m_pair->closeFarEnd();

    // No event loop runs: the wait itself notices the hang-up and ends for it, not for its time
    // (which Qt reports as a timeout error).
    auto* port = m_control->findChild<QSerialPort*>();
    QVERIFY(port);
    QSignalSpy errors(port, &QSerialPort::errorOccurred);
    QVERIFY(!m_control->waitForInput(20000));
    QVERIFY(!errors.isEmpty());
    for (const QList<QVariant>& error : errors)
        QVERIFY(error.at(0).value<QSerialPort::SerialPortError>() != QSerialPort::TimeoutError);
    QCOMPARE(failureKind([&] { m_control->input(); }), SerialError::Kind::Vanished);
    QVERIFY(!m_control->portOpen());
    QTRY_COMPARE(vanished.count(), 1);
}

QTEST_GUILESS_MAIN(SerialControlTest)
#include "tst_serial_control.moc"
