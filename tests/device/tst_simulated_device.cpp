// The simulated device on its pty: the test opens the device side as the program would and
// checks each mode's replies to Loader and Dedicated frames.

#include "HexBytes.h"
#include "PortMapOverride.h"
#include "PtyPair.h"

#include "device/SimulatedDevice.h"
#include "serial/SerialControl.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <unistd.h>

namespace {

// The program's end of the line: the device's path opened raw, as a serial port would be.
class ProgramSide {
public:
    explicit ProgramSide(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
    }
    ~ProgramSide() { close(); }
    ProgramSide(const ProgramSide&) = delete;
    ProgramSide& operator=(const ProgramSide&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    void write(const QByteArray& bytes) { writeAll(m_fd, bytes); }
    QByteArray read(qsizetype count, int timeoutMs) { return readFor(m_fd, count, timeoutMs); }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

// Sent by the device once it has told of a frame, whose reply is on the line by then: the bytes
// up to the mark are all the frame made it send.
const QByteArray kMark = "mark";

// Counts the frames the device has dealt with.
std::shared_ptr<std::atomic<int>> countFrames(SimulatedDevice& device)
{
    auto count = std::make_shared<std::atomic<int>>(0);
    device.setObserver([count](const SimulatedDevice::Event& event) {
        if (event.kind == SimulatedDevice::Event::Kind::Frame)
            ++*count;
    });
    return count;
}

} // namespace

class SimulatedDeviceTest : public QObject {
    Q_OBJECT

private slots:
    void loaderFrames_data();
    void loaderFrames();
    void dedicatedFrames_data();
    void dedicatedFrames();
    void framesFollowingEachOther();
    void modes_data();
    void modes();
    void delayHoldsEveryReply();
    void parseMode_data();
    void parseMode();
    void receivedKeepsTheLatestBytesUntilCleared();
    void sendWritesUnasked();
    void programMayCloseAndReopen();
    void vanishHangsUpTheProgramSide();
    void vanishReachesTheSerialControl();
    void answersItsFirstFrameAsSetUp();
};

void SimulatedDeviceTest::loaderFrames_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("reply");
    // ACK EOT when the digits are the sum of the text as two upper-case digits, else NAK EOT.
    QTest::newRow("AB, 83") << hex("024142383303") << hex("0604");
    QTest::newRow("ABC, C6") << hex("02414243433603") << hex("0604");
    QTest::newRow("empty text, 00") << hex("02303003") << hex("0604");
    QTest::newRow("abc, sum 294 keeps 26") << hex("02616263323603") << hex("0604");
    QTest::newRow("AB, wrong 84") << hex("024142383403") << hex("1504");
    QTest::newRow("ABC, lower-case c6") << hex("02414243633603") << hex("1504");
    QTest::newRow("empty text, one digit") << hex("023003") << hex("1504");
    QTest::newRow("no digits") << hex("0203") << hex("1504");
}

void SimulatedDeviceTest::loaderFrames()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, reply);
    SimulatedDevice device;
    const auto answered = countFrames(device);
    ProgramSide program(device.devicePath());
    QVERIFY(program.isOpen());
    program.write(frame);
    QTRY_COMPARE(answered->load(), 1);
    device.send(kMark);
    QCOMPARE(program.read(reply.size() + kMark.size(), 5000), reply + kMark);
    QCOMPARE(device.frames(), QList<QByteArray>{frame});
}

void SimulatedDeviceTest::dedicatedFrames_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("reply");
    // ACK without check digits or with the sum of the text plus 9, a single digit below 16.
    QTest::newRow("empty, no check") << hex("0504") << hex("06");
    QTest::newRow("ABC, no check") << hex("0541424304") << hex("06");
    QTest::newRow("ABC, CF") << hex("05414243044346") << hex("06");
    QTest::newRow("ABC, wrong CE") << hex("05414243044345") << hex("15");
    QTest::newRow("ABC, lower-case cf") << hex("05414243046366") << hex("15");
    QTest::newRow("empty, 9") << hex("050439") << hex("06");
    QTest::newRow("empty, padded 09") << hex("05043039") << hex("15");
    QTest::newRow("code 1, A") << hex("05010441") << hex("06");
    QTest::newRow("abc, sum 303 keeps 2F") << hex("05616263043246") << hex("06");
    QTest::newRow("EOT inside the text") << hex("05410442043930") << hex("06");
    QTest::newRow("no EOT") << hex("05414243") << hex("15");
    QTest::newRow("three characters after EOT") << hex("054104414141") << hex("15");
    QTest::newRow("plain text") << QByteArray("hello") << hex("15");
    QTest::newRow("Loader frame cut short") << hex("02414238") << hex("15");
}

void SimulatedDeviceTest::dedicatedFrames()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, reply);
    SimulatedDevice device;
    const auto answered = countFrames(device);
    ProgramSide program(device.devicePath());
    program.write(frame);
    QTRY_COMPARE(answered->load(), 1);
    device.send(kMark);
    QCOMPARE(program.read(reply.size() + kMark.size(), 5000), reply + kMark);
    QCOMPARE(device.frames(), QList<QByteArray>{frame});
}

void SimulatedDeviceTest::framesFollowingEachOther()
{
    SimulatedDevice device;
    ProgramSide program(device.devicePath());
    // Each ETX ends a Loader frame at once, even with more bytes behind it in the same write;
    // what follows the last one waits for the line to go quiet.
    const QByteArray first = hex("024142383303");
    const QByteArray second = hex("024142383403");
    const QByteArray third = hex("0541424304");
    program.write(first + second + third);
    QCOMPARE(program.read(5, 5000), hex("0604150406"));
    QCOMPARE(device.frames(), (QList<QByteArray>{first, second, third}));
}

void SimulatedDeviceTest::modes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("ack, wrong Loader digits") << "ack" << hex("024142383403") << hex("06");
    QTest::newRow("ack, plain text") << "ack" << QByteArray("xyz") << hex("06");
    QTest::newRow("nak, right Dedicated check") << "nak" << hex("05414243044346") << hex("15");
    QTest::newRow("nak, right Loader digits") << "nak" << hex("024142383303") << hex("15");
    QTest::newRow("bytes, Loader frame")
        << "hex:0241424303" << hex("024142383303") << hex("0241424303");
    QTest::newRow("bytes, Dedicated frame") << "hex:FF00" << hex("0504") << hex("ff00");
    QTest::newRow("silent, Loader frame") << "silent" << hex("024142383303") << QByteArray();
    QTest::newRow("silent, Dedicated frame") << "silent" << hex("0504") << QByteArray();
}

void SimulatedDeviceTest::modes()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, reply);
    SimulatedDevice device;
    SimulatedDevice::Behaviour behaviour;
    QVERIFY(SimulatedDevice::parseMode(mode, &behaviour));
    device.setBehaviour(behaviour);
    const auto answered = countFrames(device);
    ProgramSide program(device.devicePath());
    program.write(frame);
    QTRY_COMPARE(answered->load(), 1);
    // A silent device has still taken the frame in.
    QCOMPARE(device.frames(), QList<QByteArray>{frame});
    device.send(kMark);
    QCOMPARE(program.read(reply.size() + kMark.size(), 5000), reply + kMark);
}

void SimulatedDeviceTest::delayHoldsEveryReply()
{
    SimulatedDevice device;
    device.setBehaviour({SimulatedDevice::Mode::Protocol, {}, 400});
    QCOMPARE(device.behaviour().delayMs, 400);
    ProgramSide program(device.devicePath());

    // A reply may come later than the delay on a busy machine, never sooner.
    QElapsedTimer sinceFrame;
    sinceFrame.start();
    program.write(hex("024142383303"));
    QCOMPARE(program.read(2, 5000), hex("0604"));
    QVERIFY(sinceFrame.elapsed() >= 400);

    sinceFrame.restart();
    program.write(hex("0504"));
    QCOMPARE(program.read(1, 5000), hex("06"));
    QVERIFY(sinceFrame.elapsed() >= 400);
}

void SimulatedDeviceTest::parseMode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("bytes");
    using Mode = SimulatedDevice::Mode;
    QTest::newRow("protocol") << "protocol" << true << int(Mode::Protocol) << QByteArray();
    QTest::newRow("ack") << "ack" << true << int(Mode::Ack) << QByteArray();
    QTest::newRow("nak") << "nak" << true << int(Mode::Nak) << QByteArray();
    QTest::newRow("silent") << "silent" << true << int(Mode::Silent) << QByteArray();
    QTest::newRow("hex") << "hex:0604" << true << int(Mode::Bytes) << hex("0604");
    QTest::newRow("hex, upper-case digits")
        << "hex:15AbFF" << true << int(Mode::Bytes) << hex("15abff");
    QTest::newRow("hex with blanks between pairs")
        << "hex:06 04" << true << int(Mode::Bytes) << hex("0604");
    QTest::newRow("hex, a last lone digit") << "hex:060" << true << int(Mode::Bytes) << hex("0600");
    QTest::newRow("hex, one lone digit") << "hex:6" << true << int(Mode::Bytes) << hex("06");
    QTest::newRow("hex, a blank splitting a pair") << "hex:0 64" << false << 0 << QByteArray();
    QTest::newRow("hex, no digits") << "hex:" << false << 0 << QByteArray();
    QTest::newRow("hex, blanks only") << "hex:  " << false << 0 << QByteArray();
    QTest::newRow("hex, not a digit") << "hex:06g4" << false << 0 << QByteArray();
    QTest::newRow("unknown word") << "echo" << false << 0 << QByteArray();
    QTest::newRow("empty") << "" << false << 0 << QByteArray();
}

void SimulatedDeviceTest::parseMode()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, mode);
    QFETCH(QByteArray, bytes);
    SimulatedDevice::Behaviour behaviour{SimulatedDevice::Mode::Nak, "old", 25};
    QCOMPARE(SimulatedDevice::parseMode(text, &behaviour), valid);
    if (!valid) {
        QCOMPARE(int(behaviour.mode), int(SimulatedDevice::Mode::Nak));
        QCOMPARE(behaviour.bytes, QByteArray("old"));
        return;
    }
    QCOMPARE(int(behaviour.mode), mode);
    QCOMPARE(behaviour.bytes, bytes);
    QCOMPARE(behaviour.delayMs, 25);
}

void SimulatedDeviceTest::receivedKeepsTheLatestBytesUntilCleared()
{
    SimulatedDevice device;
    ProgramSide program(device.devicePath());
    program.write(hex("0504"));
    QCOMPARE(program.read(1, 5000), hex("06"));
    program.write(hex("02303003"));
    QCOMPARE(program.read(2, 5000), hex("0604"));
    QCOMPARE(device.received(), hex("050402303003"));
    QCOMPARE(device.frames().size(), 2);

    device.clearReceived();
    QCOMPARE(device.received(), QByteArray());
    QCOMPARE(device.frames(), QList<QByteArray>());
    program.write(hex("0504"));
    QCOMPARE(program.read(1, 5000), hex("06"));
    QCOMPARE(device.received(), hex("0504"));

    // A device serving for long keeps only the latest of it.
    device.setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
    const QByteArray flood = QByteArray(SimulatedDevice::kKeptBytes, 'x') + "END";
    program.write(flood);
    QTRY_VERIFY(device.received().endsWith("END"));
    QCOMPARE(device.received().size(), SimulatedDevice::kKeptBytes);
    // Nor does a flood's frame, however long the line stays busy.
    QTRY_VERIFY(!device.frames().isEmpty());
    qsizetype kept = 0;
    for (const QByteArray& frame : device.frames()) {
        QVERIFY(frame.size() <= SimulatedDevice::kFrameBytes);
        kept += frame.size();
    }
    QVERIFY(kept <= SimulatedDevice::kKeptBytes);
}

void SimulatedDeviceTest::sendWritesUnasked()
{
    SimulatedDevice device;
    ProgramSide program(device.devicePath());
    QByteArray longReply(1, '\x06');
    for (int i = 0; i < 600; ++i)
        longReply += char('A' + i % 26);
    longReply += '\x04';
    device.send(longReply);
    QCOMPARE(program.read(longReply.size(), 5000), longReply);
    QCOMPARE(device.received(), QByteArray());
}

void SimulatedDeviceTest::programMayCloseAndReopen()
{
    SimulatedDevice device;
    {
        ProgramSide program(device.devicePath());
        program.write(hex("0504"));
        QCOMPARE(program.read(1, 5000), hex("06"));
    }
    ProgramSide again(device.devicePath());
    QVERIFY(again.isOpen());
    again.write(hex("024142383303"));
    QCOMPARE(again.read(2, 5000), hex("0604"));
}

void SimulatedDeviceTest::vanishHangsUpTheProgramSide()
{
    SimulatedDevice device;
    ProgramSide program(device.devicePath());
    device.vanish();
    pollfd hangUp{program.fd(), POLLIN, 0};
    QCOMPARE(::poll(&hangUp, 1, 5000), 1);
    QVERIFY(hangUp.revents & (POLLHUP | POLLERR));
    char byte;
    QVERIFY(::read(program.fd(), &byte, 1) <= 0);

    // Gone for good: sending does nothing and nobody can open the device again.
    device.send("late");
    program.close();
    ProgramSide again(device.devicePath());
    QVERIFY(!again.isOpen());
}

void SimulatedDeviceTest::vanishReachesTheSerialControl()
{
    SimulatedDevice device;
    device.setBehaviour({SimulatedDevice::Mode::Bytes, hex("060604"), 0});
    const PortMapOverride map(device.devicePath());
    SerialControl control;
    control.setSettings(QStringLiteral("38400,n,8,1"));
    control.setInputLen(1);
    control.setPortOpen(true);
    QSignalSpy vanished(&control, &SerialControl::vanished);

    control.setOutput(hex("0504"));
    QTRY_VERIFY(control.outputDrained());
    QTRY_COMPARE(device.received(), hex("0504"));
    QVERIFY(control.waitForInput(5000));
    QCOMPARE(control.input(), hex("06"));

    device.vanish();
    QTRY_COMPARE(vanished.count(), 1);
    QCOMPARE(control.input(), hex("06"));
    QCOMPARE(control.input(), hex("04"));
    try {
        control.input();
        QFAIL("input after the device vanished");
    } catch (const SerialError& error) {
        QCOMPARE(error.kind(), SerialError::Kind::Vanished);
    }
    control.setPortOpen(false);
}

// Rules, faults, behaviour and observer are all in place before the device serves, so even the
// first frame is answered and told of as they say.
void SimulatedDeviceTest::answersItsFirstFrameAsSetUp()
{
    std::mutex mutex;
    QList<SimulatedDevice::Event> events;
    std::atomic<int> told = 0;
    DeviceSetup setup;
    setup.behaviour.mode = SimulatedDevice::Mode::Silent;
    setup.rules = AnswerRules::read(R"({"rules": [{"frame": "0504", "reply": "15"}]})").rules;
    setup.faults.garbage = 2;
    setup.observer = [&](const SimulatedDevice::Event& event) {
        const std::lock_guard lock(mutex);
        events.append(event);
        ++told;
    };
    SimulatedDevice device(setup);
    ProgramSide program(device.devicePath());
    program.write(hex("0504"));
    const QByteArray reply = program.read(3, 5000);
    QCOMPARE(reply.size(), 3);
    QCOMPARE(reply.back(), '\x15');
    QTRY_COMPARE(told.load(), 1);
    const std::lock_guard lock(mutex);
    QCOMPARE(events[0].rule, 0);
    QCOMPARE(events[0].faults, QStringList{"garbage"});
    QCOMPARE(events[0].reply, reply);
}

QTEST_GUILESS_MAIN(SimulatedDeviceTest)
#include "tst_simulated_device.moc"
