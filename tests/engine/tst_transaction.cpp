// The transaction engine over a real pty with the simulated device on the far end, stepped in
// virtual time (no timer, no window) and driven through the event loop.

#include "HexBytes.h"
#include "ManualClock.h"
#include "PortMapOverride.h"
#include "PtyPair.h"
#include "device/SimulatedDevice.h"
#include "engine/Transaction.h"
#include "protocols/Consoles.h"
#include "protocols/DedicatedProtocol.h"
#include "protocols/LineSettings.h"
#include "protocols/LoaderProtocol.h"
#include "protocols/ProgramState.h"
#include "serial/PortMap.h"
#include "serial/SerialControl.h"

#include <QSignalSpy>
#include <QtTest>

#include <chrono>
#include <fcntl.h>
#include <memory>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Steps a transaction to its end the way a test may: no event loop, and the clock moved by hand.
// A poll that finds nothing waits up to waitMs of real time for a byte on its way (1 ms like the
// real driver's; longer makes every poll of a long reply find a byte, so the count of bytes shows
// the count of reads), then lets the next poll come due.
void stepToEnd(Transaction& transaction, SerialControl& port, ManualClock& clock, int waitMs = 1)
{
    while (transaction.step()) {
        if (transaction.state() == Transaction::State::Receiving && !port.inputWaiting() &&
            !port.waitForInput(waitMs))
            clock.advance(transaction.pollInterval());
    }
}

constexpr int kPatientMs = 2000;

// Lets everything already queued or due run once: a zero timer started now fires after every
// timer started before it.
void letPendingEventsRun()
{
    QTimer marker;
    marker.setSingleShot(true);
    QSignalSpy fired(&marker, &QTimer::timeout);
    marker.start(0);
    QVERIFY(fired.wait());
}

// Bytes the device sent that wait in the driver for the program to open the port.
int waitingInDriver(const QString& devicePath)
{
    const int device = ::open(devicePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    int waiting = -1;
    ::ioctl(device, FIONREAD, &waiting);
    ::close(device);
    return waiting;
}

// A pty takes 12 to 20 KB before its writer waits. Filled first from the device side, it takes
// a frame only as fast as the far end reads.
void fill(PtyPair& line)
{
    const int device = line.deviceHandle();
    ::fcntl(device, F_SETFL, ::fcntl(device, F_GETFL) | O_NONBLOCK);
    const QByteArray filler(4096, 'f');
    while (::write(device, filler.constData(), size_t(filler.size())) > 0) {
    }
}

} // namespace

class TransactionTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void classifiesByTheFirstByteOnly_data();
    void classifiesByTheFirstByteOnly();
    void sendsTheLoaderFramesByteForByte_data();
    void sendsTheLoaderFramesByteForByte();
    void sendsTheDedicatedFramesByteForByte_data();
    void sendsTheDedicatedFramesByteForByte();
    void loaderStopsAtEot();
    void loaderStopsAtAnEotInTheMiddle();
    void loaderMakesAtMost501Reads();
    void dedicatedMakesExactly500ReadsThenTheExtraTwo();
    void dedicatedReadsAllBytesOfAnAnswerWithin500Polls();
    void failsCleanlyOnAMissingDevice();
    void failsOnAPortNumberThatIsNoNumberBeforeTheSettings();
    void runsTheHookAfterTheSettings();
    void endsWithOneFailureWhenTheDeviceVanishesMidReply();
    void closesThePortSoTheNextSendStartsClean();
    void runsFromTheEventLoopAndFinishesOnce();
    void aBurstDoesNotShortenTheWindow();
    void aLateWakeReadsWhatWaits();
    void aSilentWindowIsOneSleep_data();
    void aSilentWindowIsOneSleep();
    void aLongFrameDrainsWhileTheLineTakesBytes_data();
    void aLongFrameDrainsWhileTheLineTakesBytes();
    void abortClosesThePortWithoutFinishing();
    void portFromPortNoAndSettingsFromBaudRate();

private:
    ManualClock m_clock; // outlives the transaction that reads it
    std::unique_ptr<SimulatedDevice> m_device;
    std::unique_ptr<SerialControl> m_port;
    std::unique_ptr<Transaction> m_transaction;
};

void TransactionTest::init()
{
    m_device = std::make_unique<SimulatedDevice>();
    PortMap::setDevice(1, m_device->devicePath());
    PortMap::setDevice(2, m_device->devicePath());
    m_port = std::make_unique<SerialControl>();
    m_transaction = std::make_unique<Transaction>(*m_port);
    m_transaction->setClock(m_clock);
    program() = ProgramState{};
}

void TransactionTest::cleanup()
{
    m_transaction.reset();
    m_port.reset();
    m_device.reset();
}

void TransactionTest::classifiesByTheFirstByteOnly_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<ReplyClass>("expected");
    QTest::newRow("ACK EOT") << hex("0604") << ReplyClass::Ack;
    QTest::newRow("ACK and text") << hex("06414243") << ReplyClass::Ack;
    QTest::newRow("NAK") << hex("1504") << ReplyClass::Nak;
    QTest::newRow("nothing") << QByteArray() << ReplyClass::None;
    QTest::newRow("STX first") << hex("0206") << ReplyClass::Other;
    QTest::newRow("NUL first") << hex("0006") << ReplyClass::Other;
}

void TransactionTest::classifiesByTheFirstByteOnly()
{
    QFETCH(QByteArray, reply);
    QFETCH(ReplyClass, expected);
    QCOMPARE(classify(reply), expected);
}

void TransactionTest::sendsTheLoaderFramesByteForByte_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("AB") << QByteArray("AB") << hex("024142383303");
    QTest::newRow("ABC") << QByteArray("ABC") << hex("02414243433603");
    QTest::newRow("empty") << QByteArray() << hex("02303003");
    QTest::newRow("blanks kept and counted") << QByteArray(" A ") << hex("02204120383103");
}

void TransactionTest::sendsTheLoaderFramesByteForByte()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, frame);
    QVERIFY(m_transaction->begin(loaderPlan(message, program())));
    stepToEnd(*m_transaction, *m_port, m_clock);
    QCOMPARE(m_device->received(), frame);
    QCOMPARE(m_transaction->state(), Transaction::State::Finished);
    QCOMPARE(m_transaction->reply(), hex("0604"));
    QCOMPARE(m_port->settings(), QStringLiteral("38400,n,8,1"));
}

void TransactionTest::sendsTheDedicatedFramesByteForByte_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("withCheck");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("empty") << QByteArray() << false << hex("0504");
    QTest::newRow("empty, check") << QByteArray() << true << hex("050439");
    QTest::newRow("ABC") << QByteArray("ABC") << false << hex("0541424304");
    QTest::newRow("ABC, check") << QByteArray("ABC") << true << hex("05414243044346");
}

void TransactionTest::sendsTheDedicatedFramesByteForByte()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, withCheck);
    QFETCH(QByteArray, frame);
    program().PortNo = QStringLiteral("2");
    program().BaudRate = 19200;
    QVERIFY(m_transaction->begin(dedicatedPlan(message, withCheck, program())));
    QCOMPARE(program().BccFlag, withCheck);
    stepToEnd(*m_transaction, *m_port, m_clock);
    QCOMPARE(m_device->received(), frame);
    QCOMPARE(m_transaction->reply(), hex("06"));
    QCOMPARE(m_transaction->polls(), 500);
    QCOMPARE(m_port->settings(), QStringLiteral("19200, n, 8, 1"));
}

void TransactionTest::loaderStopsAtEot()
{
    QVERIFY(m_transaction->begin(loaderPlan("AB", program())));
    stepToEnd(*m_transaction, *m_port, m_clock);
    QCOMPARE(m_transaction->reply(), hex("0604"));
    QVERIFY(m_transaction->polls() < 501);
    QVERIFY(!m_port->portOpen());
}

void TransactionTest::loaderStopsAtAnEotInTheMiddle()
{
    m_device->setBehaviour({SimulatedDevice::Mode::Bytes, hex("0641044243"), 0});
    QVERIFY(m_transaction->begin(loaderPlan("AB", program())));
    stepToEnd(*m_transaction, *m_port, m_clock);
    QCOMPARE(m_transaction->reply(), hex("064104"));
    QCOMPARE(classify(m_transaction->reply()), ReplyClass::Ack);
}

void TransactionTest::loaderMakesAtMost501Reads()
{
    m_device->setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
    QVERIFY(m_transaction->begin(loaderPlan("AB", program())));
    stepToEnd(*m_transaction, *m_port, m_clock);
    QCOMPARE(m_transaction->polls(), 501);
    QCOMPARE(m_transaction->reply(), QByteArray());
    QCOMPARE(classify(m_transaction->reply()), ReplyClass::None);

    // A reply longer than the window and without EOT: 501 bytes, one per read.
    m_device->setBehaviour({SimulatedDevice::Mode::Bytes, QByteArray(700, 'x'), 0});
    QVERIFY(m_transaction->begin(loaderPlan("AB", program())));
    stepToEnd(*m_transaction, *m_port, m_clock, kPatientMs);
    QCOMPARE(m_transaction->reply(), QByteArray(501, 'x'));
}

void TransactionTest::dedicatedMakesExactly500ReadsThenTheExtraTwo()
{
    program().PortNo = QStringLiteral("1");
    program().BaudRate = 9600;
    m_device->setBehaviour({SimulatedDevice::Mode::Bytes, QByteArray(600, 'y'), 0});

    QVERIFY(m_transaction->begin(dedicatedPlan("ABC", false, program())));
    stepToEnd(*m_transaction, *m_port, m_clock, kPatientMs);
    QCOMPARE(m_transaction->polls(), 500);
    QCOMPARE(m_transaction->reply(), QByteArray(500, 'y'));

    QVERIFY(m_transaction->begin(dedicatedPlan("ABC", true, program())));
    stepToEnd(*m_transaction, *m_port, m_clock, kPatientMs);
    QCOMPARE(m_transaction->polls(), 500);
    QCOMPARE(m_transaction->reply(), QByteArray(502, 'y'));
}

void TransactionTest::dedicatedReadsAllBytesOfAnAnswerWithin500Polls()
{
    program().PortNo = QStringLiteral("1");
    program().BaudRate = 38400;
    m_device->setBehaviour(
        {SimulatedDevice::Mode::Bytes, hex("06414243") + QByteArray(20, 'z'), 5});
    QVERIFY(m_transaction->begin(dedicatedPlan("ABC", false, program())));
    stepToEnd(*m_transaction, *m_port, m_clock);
    QCOMPARE(m_transaction->reply(), hex("06414243") + QByteArray(20, 'z'));
    QCOMPARE(m_transaction->polls(), 500);
}

void TransactionTest::failsCleanlyOnAMissingDevice()
{
    PortMap::setDevice(2, QStringLiteral("/dev/no-such-serial-device"));
    program().PortNo = QStringLiteral("2");
    program().BaudRate = 19200;
    QVERIFY(!m_transaction->begin(dedicatedPlan("ABC", false, program())));
    QCOMPARE(m_transaction->state(), Transaction::State::Failed);
    QVERIFY(m_transaction->error().has_value());
    QCOMPARE(m_transaction->error()->kind(), SerialError::Kind::NotFound);
    QVERIFY(!m_port->portOpen());
    QVERIFY(!m_transaction->step());

    // The same control sends at once when the port exists again.
    program().PortNo = QStringLiteral("1");
    QVERIFY(m_transaction->begin(dedicatedPlan("ABC", false, program())));
    stepToEnd(*m_transaction, *m_port, m_clock);
    QCOMPARE(m_transaction->state(), Transaction::State::Finished);
}

void TransactionTest::failsOnAPortNumberThatIsNoNumberBeforeTheSettings()
{
    program().PortNo = QStringLiteral("x");
    program().BaudRate = 128000;
    int hookRuns = 0;
    m_transaction->setAfterSettings([&hookRuns] { ++hookRuns; });
    QVERIFY(!m_transaction->begin(dedicatedPlan("ABC", false, program())));
    QCOMPARE(m_transaction->error()->kind(), SerialError::Kind::BadPort);
    QVERIFY(m_transaction->error()->reason().contains(QLatin1String("\"x\"")));
    QCOMPARE(hookRuns, 0);
    QCOMPARE(m_device->received(), QByteArray());
}

void TransactionTest::runsTheHookAfterTheSettings()
{
    program().PortNo = QStringLiteral("1");
    program().BaudRate = kDoubtfulBaudRate;
    QString settingsSeen;
    bool openSeen = true;
    m_transaction->setAfterSettings([&] {
        settingsSeen = m_port->settings();
        openSeen = m_port->portOpen();
    });
    QVERIFY(m_transaction->begin(dedicatedPlan("ABC", false, program())));
    QCOMPARE(settingsSeen, QStringLiteral("128000, n, 8, 1"));
    QVERIFY(!openSeen);
    stepToEnd(*m_transaction, *m_port, m_clock);
    QCOMPARE(m_device->received(), hex("0541424304"));
}

void TransactionTest::endsWithOneFailureWhenTheDeviceVanishesMidReply()
{
    program().PortNo = QStringLiteral("1");
    program().BaudRate = 9600;
    m_device->setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
    QVERIFY(m_transaction->begin(dedicatedPlan("ABC", false, program())));
    QSignalSpy finished(m_transaction.get(), &Transaction::finished);
    m_transaction->run();
    QTRY_VERIFY(m_device->received().size() == 5);
    m_device->send(hex("0641"));
    // The clock stands still: the window cannot end before the device goes.
    QTRY_COMPARE(m_transaction->reply(), hex("0641"));
    m_device->vanish();
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(m_transaction->state(), Transaction::State::Failed);
    QCOMPARE(m_transaction->error()->kind(), SerialError::Kind::Vanished);
    QCOMPARE(m_transaction->reply(), hex("0641"));
    QVERIFY(!m_port->portOpen());
    letPendingEventsRun();
    QCOMPARE(finished.count(), 1);
}

void TransactionTest::closesThePortSoTheNextSendStartsClean()
{
    m_device->setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
    QVERIFY(m_transaction->begin(loaderPlan("A", program())));
    stepToEnd(*m_transaction, *m_port, m_clock);
    QVERIFY(!m_port->portOpen());
    // Bytes the device sends while the port is closed are not part of the next reply.
    m_device->send(hex("1504"));
    QTRY_COMPARE(waitingInDriver(m_device->devicePath()), 2);
    m_device->setBehaviour({SimulatedDevice::Mode::Protocol, {}, 0});
    QVERIFY(m_transaction->begin(loaderPlan("A", program())));
    stepToEnd(*m_transaction, *m_port, m_clock);
    QCOMPARE(m_transaction->reply(), hex("0604"));
}

void TransactionTest::runsFromTheEventLoopAndFinishesOnce()
{
    m_transaction->setClock(Clock::steady());
    QVERIFY(m_transaction->begin(loaderPlan("ABC", program())));
    QSignalSpy finished(m_transaction.get(), &Transaction::finished);
    m_transaction->run();
    QVERIFY(m_transaction->running());
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(m_transaction->reply(), hex("0604"));
    QVERIFY(!m_port->portOpen());
    QVERIFY(m_transaction->latency().has_value());
    QVERIFY(*m_transaction->latency() <= m_transaction->windowLength());

    m_device->setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
    QVERIFY(m_transaction->begin(loaderPlan("ABC", program())));
    m_transaction->run();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 10000);
    QCOMPARE(m_transaction->polls(), 501);
    QCOMPARE(m_transaction->reply(), QByteArray());
    QVERIFY(!m_transaction->latency().has_value());
    QVERIFY(m_transaction->windowLength() > std::chrono::microseconds(0));
}

// Polls that find a burst's bytes waiting run at once, ahead of their time; the empty polls after
// it come when they are due, so the window still lasts its 500 ms: a byte at 350 ms is read, and
// the engine waking at the window's end with nothing waiting finishes.
void TransactionTest::aBurstDoesNotShortenTheWindow()
{
    program().PortNo = QStringLiteral("1");
    program().BaudRate = 38400;
    const QByteArray burst = hex("06") + QByteArray(299, 'b');
    m_device->setBehaviour({SimulatedDevice::Mode::Bytes, burst, 0});
    QVERIFY(m_transaction->begin(dedicatedPlan("ABC", false, program())));
    while (m_transaction->state() == Transaction::State::Draining)
        QVERIFY(m_transaction->step());
    while (m_transaction->reply().size() < burst.size()) {
        QVERIFY(m_port->waitForInput(kPatientMs));
        QVERIFY(m_transaction->step());
    }
    QCOMPARE(m_transaction->polls(), 300);

    m_clock.advance(350ms);
    QVERIFY(m_transaction->step());
    QCOMPARE(m_transaction->polls(), 350);
    m_device->send("L");
    QVERIFY(m_port->waitForInput(kPatientMs));
    QVERIFY(m_transaction->step());
    QCOMPARE(m_transaction->polls(), 351);

    m_clock.advance(150ms);
    QVERIFY(!m_transaction->step());
    QCOMPARE(m_transaction->state(), Transaction::State::Finished);
    QCOMPARE(m_transaction->reply(), burst + "L");
    QCOMPARE(m_transaction->polls(), 500);
}

// A program held up past the window's end (a busy machine) still reads what came while it
// slept, one byte a poll, and then ends the window: nothing the device sent in time is lost.
void TransactionTest::aLateWakeReadsWhatWaits()
{
    program().PortNo = QStringLiteral("1");
    program().BaudRate = 38400;
    m_device->setBehaviour({SimulatedDevice::Mode::Bytes, hex("06") + "LATE", 0});
    QVERIFY(m_transaction->begin(dedicatedPlan("ABC", false, program())));
    while (m_transaction->state() == Transaction::State::Draining)
        QVERIFY(m_transaction->step());
    QVERIFY(m_port->waitForInput(kPatientMs));
    m_clock.advance(650ms);
    while (m_transaction->step()) {
        if (!m_port->inputWaiting())
            m_port->waitForInput(kPatientMs);
    }
    QCOMPARE(m_transaction->state(), Transaction::State::Finished);
    QCOMPARE(m_transaction->reply(), hex("06") + "LATE");
    QCOMPARE(m_transaction->polls(), 500);
}

// With nothing waiting the engine sleeps until the window's end: one wake-up, all its polls, and
// the window as long as they are.
void TransactionTest::aSilentWindowIsOneSleep_data()
{
    QTest::addColumn<ConsoleKind>("console");
    QTest::addColumn<int>("polls");
    QTest::addColumn<int>("windowMs");
    QTest::newRow("Loader") << ConsoleKind::Loader << 501 << 501;
    QTest::newRow("Dedicated") << ConsoleKind::Dedicated << 500 << 500;
    QTest::newRow("User Define") << ConsoleKind::UserDefine << 1000 << 1000;
}

void TransactionTest::aSilentWindowIsOneSleep()
{
    QFETCH(ConsoleKind, console);
    QFETCH(int, polls);
    QFETCH(int, windowMs);
    const std::chrono::microseconds window = std::chrono::milliseconds(windowMs);
    m_device->setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
    program().PortNo = QStringLiteral("1");
    program().BaudRate = 38400;
    QVERIFY(m_transaction->begin(consolePlan({console, "ABC"}, program())));
    while (m_transaction->state() == Transaction::State::Draining)
        QVERIFY(m_transaction->step());
    QCOMPARE(m_transaction->untilNextStep(), window);

    m_clock.advance(window);
    QVERIFY(!m_transaction->step());
    QCOMPARE(m_transaction->polls(), polls);
    QCOMPARE(m_transaction->windowLength(), window);
    QCOMPARE(m_transaction->reply(), QByteArray());
}

// On a slow line a long frame takes more than 5 s to leave the port, and that is no failure
// while its bytes keep leaving; a line that takes none for 5 s is dead. The far end reads a
// few hundred bytes every tenth of a second, or nothing. A pty lets its writer on in steps of
// about 2 KB as its reader frees them, so a slower reader would hold the frame for seconds
// between steps; the frame is long enough to take some 7 s at this pace.
void TransactionTest::aLongFrameDrainsWhileTheLineTakesBytes_data()
{
    QTest::addColumn<int>("bytesPerTenth");
    QTest::newRow("slow line") << 400;
    QTest::newRow("stalled line") << 0;
}

void TransactionTest::aLongFrameDrainsWhileTheLineTakesBytes()
{
    QFETCH(int, bytesPerTenth);
    PtyPair line;
    const PortMapOverride ports(line.devicePath());
    fill(line);
    QTimer farEnd;
    connect(&farEnd, &QTimer::timeout, [&] { readFor(line.farEndHandle(), bytesPerTenth, 0); });
    farEnd.start(100);
    program().PortNo = QStringLiteral("1");
    program().BaudRate = 9600;
    m_transaction->setClock(Clock::steady());
    QVERIFY(m_transaction->begin(dedicatedPlan(QByteArray(36000, 'D'), false, program())));
    QSignalSpy finished(m_transaction.get(), &Transaction::finished);
    m_transaction->run();
    QVERIFY(finished.wait(30000));
    if (bytesPerTenth > 0) {
        QCOMPARE(m_transaction->state(), Transaction::State::Finished);
        QCOMPARE(m_transaction->polls(), 500);
    } else {
        QCOMPARE(m_transaction->state(), Transaction::State::Failed);
        QCOMPARE(m_transaction->error()->kind(), SerialError::Kind::Io);
        QCOMPARE(m_transaction->error()->reason(),
                 QStringLiteral("The device took no bytes for 5 s."));
    }
    QVERIFY(!m_port->portOpen());
}

void TransactionTest::abortClosesThePortWithoutFinishing()
{
    m_device->setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
    QVERIFY(m_transaction->begin(loaderPlan("ABC", program())));
    QSignalSpy finished(m_transaction.get(), &Transaction::finished);
    m_transaction->run();
    QTRY_COMPARE(m_transaction->state(), Transaction::State::Receiving);
    m_clock.advance(30ms);
    QVERIFY(m_port->portOpen());
    m_transaction->abort();
    QVERIFY(!m_port->portOpen());
    QVERIFY(!m_transaction->running());
    // The record of an ended exchange still says how long its window lasted.
    QCOMPARE(m_transaction->windowLength(), std::chrono::microseconds(30ms));
    letPendingEventsRun();
    QCOMPARE(finished.count(), 0);
}

void TransactionTest::portFromPortNoAndSettingsFromBaudRate()
{
    QCOMPARE(commPortFromPortNo("1"), std::optional<int>(1));
    QCOMPARE(commPortFromPortNo("2"), std::optional<int>(2));
    QCOMPARE(commPortFromPortNo("3"), std::optional<int>(2));
    QCOMPARE(commPortFromPortNo("9"), std::optional<int>(2));
    QCOMPARE(commPortFromPortNo("x"), std::optional<int>());
    QCOMPARE(commPortFromPortNo(""), std::optional<int>());
    for (qint32 rate : {9600, 19200, 38400, 56000, 57600, 76800, 115200, 128000})
        QCOMPARE(settingsForBaudRate(rate),
                 std::optional<QString>(QStringLiteral("%1, n, 8, 1").arg(rate)));
    QCOMPARE(settingsForBaudRate(4800), std::optional<QString>());
    QCOMPARE(settingsForBaudRate(0), std::optional<QString>());
}

QTEST_GUILESS_MAIN(TransactionTest)
#include "tst_transaction.moc"
