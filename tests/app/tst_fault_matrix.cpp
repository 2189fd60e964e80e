// The fault matrix: the ways a port fails, over real pseudo-terminals, through the engine on its
// own and through a console window. A case ends with one clear failure (the engine's kind and
// reason; in a window one "Port Disorder" box with the same reason), or, where the line misbehaves
// without failing, with no more than the window's bytes read. Either way the port is closed, no
// descriptor is left open, and the next Send on the port reads its own reply and nothing else.
// The port failures end rs232c send the same way: status 4 and one line with the reason on
// standard error, the lock released, and the next send on the port answered.

#include "AsOrdinaryUser.h"
#include "CommandProcess.h"
#include "Exchanger.h"
#include "HexBytes.h"
#include "PortHolder.h"
#include "PortMapOverride.h"
#include "PtyPair.h"
#include "device/SimulatedDevice.h"
#include "protocols/Consoles.h"
#include "protocols/ProgramState.h"
#include "serial/PortMap.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <future>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr qsizetype kLargeFrame = 64 * 1024; // far more than a pty buffers
constexpr int kEndMs = 20000;                // the drain limit (5 s) and then some

enum class Fault {
    LockHeld,
    ExclusiveHolder,
    PermissionDenied,
    VanishWhileWriting,
    VanishWhileReplying,
    ReplyFlood,
    ReplyStraddlingTheEnd,
    ReplyGoingOnAfterEot,
    OutputStalled,
};

struct Case {
    const char* name;
    Fault fault;
    ConsoleKind console;
    std::optional<SerialError::Kind> failure; // no value: the exchange ends without one
    const char* reason;                       // what the failure's reason says
};

const Case kCases[] = {
    {"lock file held by another program", Fault::LockHeld, ConsoleKind::Dedicated,
     SerialError::Kind::Busy, "in use by another program"},
    {"TIOCEXCL held by another program", Fault::ExclusiveHolder, ConsoleKind::Loader,
     SerialError::Kind::Busy, "in use by another program"},
    {"permission denied", Fault::PermissionDenied, ConsoleKind::UserDefine,
     SerialError::Kind::Permission, "Permission denied"},
    {"vanishes while the frame is written", Fault::VanishWhileWriting, ConsoleKind::Loader,
     SerialError::Kind::Vanished, "the device went away"},
    {"vanishes while the reply arrives", Fault::VanishWhileReplying, ConsoleKind::Loader,
     SerialError::Kind::Vanished, "the device went away"},
    {"reply flood", Fault::ReplyFlood, ConsoleKind::UserDefine, std::nullopt, ""},
    {"reply straddling the window's end", Fault::ReplyStraddlingTheEnd, ConsoleKind::Dedicated,
     std::nullopt, ""},
    {"reply going on after EOT", Fault::ReplyGoingOnAfterEot, ConsoleKind::Loader, std::nullopt,
     ""},
    {"output stalled", Fault::OutputStalled, ConsoleKind::Loader, SerialError::Kind::Io,
     "took no bytes for 5 s"},
};

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

bool lockFileExists(const QString& devicePath)
{
    QString name = QFileInfo(devicePath).canonicalFilePath().mid(5);
    return QFileInfo::exists(QStringLiteral("/run/lock/LCK..") +
                             name.replace(QLatin1Char('/'), QLatin1Char('_')));
}

// The letters a to z over and over: a stream in which any lost, repeated or foreign byte shows.
QByteArray letters(qsizetype count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i)
        bytes[i] = char('a' + i % 26);
    return bytes;
}

// A device that answers a frame with letters, without pause, as fast as the line takes them (on
// a pty that is megabytes a second) until stopped; it counts what the line took.
class Flood {
public:
    Flood(int farEnd, qsizetype frameSize)
        : m_thread([this, farEnd, frameSize] { run(farEnd, frameSize); })
    {
    }
    ~Flood() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    qint64 taken() const { return m_taken; }

private:
    void run(int farEnd, qsizetype frameSize)
    {
        constexpr qsizetype kChunk = 64 * 1024;
        readFor(farEnd, frameSize, 10000);
        const QByteArray stream = letters(kChunk + 26);
        while (!m_stop) {
            pollfd out{farEnd, POLLOUT, 0};
            if (::poll(&out, 1, 1) != 1)
                continue;
            const ssize_t written = ::write(farEnd, stream.constData() + m_taken % 26, kChunk);
            if (written > 0)
                m_taken += written;
        }
    }

    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_taken{0};
    std::thread m_thread;
};

// Port 1's far end: a simulated device, or a bare pty played by hand where the device must stop
// reading, flood, or answer on the same line after a failure.
struct Line {
    std::unique_ptr<SimulatedDevice> device;
    std::unique_ptr<PtyPair> pty;

    QString path() const { return device ? device->devicePath() : pty->devicePath(); }
    int farEnd() const { return pty->farEndHandle(); }
    // A new device comes where the old one vanished, and the port is mapped to it.
    void renew()
    {
        pty.reset();
        device = std::make_unique<SimulatedDevice>();
        PortMap::setDevice(1, device->devicePath());
    }
};

QByteArray frameOf(const ConsoleRequest& request)
{
    ProgramState state = program();
    return consolePlan(request, state).frame;
}

// What is on its way to the program and unread: the line's input queue, as the pair's own
// descriptor of the device side sees it.
int waitingOnTheLine(const PtyPair& pty)
{
    int waiting = 0;
    return ::ioctl(pty.deviceHandle(), FIONREAD, &waiting) == 0 ? waiting : -1;
}

// Where the user nobody can run rs232c. The build tree may lie in a folder nobody may enter (a
// clone under /root or in a mktemp -d folder, run as root): then a copy in a folder of its own,
// open to anyone, stands in. Empty when neither is reachable.
class CommandForNobody {
public:
    CommandForNobody()
    {
        const QString built = QStringLiteral(RS232C_COMMAND_PATH);
        if (runnable(built)) {
            m_path = built;
            return;
        }
        m_folder = std::make_unique<QTemporaryDir>();
        const QString copy = m_folder->filePath(QStringLiteral("rs232c"));
        if (m_folder->isValid() &&
            ::chmod(QFile::encodeName(m_folder->path()).constData(), 0755) == 0 &&
            QFile::copy(built, copy) && ::chmod(QFile::encodeName(copy).constData(), 0755) == 0 &&
            runnable(copy))
            m_path = copy;
    }

    QString path() const { return m_path; }

private:
    static bool runnable(const QString& path)
    {
        const AsOrdinaryUser user;
        return user.active() &&
               ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), X_OK, AT_EACCESS) == 0;
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_path;
};

} // namespace

class FaultMatrixTest : public QObject {
    Q_OBJECT

private slots:
    void endsCleanly_data();
    void endsCleanly();
    void sendCommandEndsCleanly_data();
    void sendCommandEndsCleanly();

private:
    void provoke(Fault fault, Exchanger& exchanger, Line& line, ConsoleRequest request);
    void flood(Exchanger& exchanger, Line& line, const ConsoleRequest& request);
    void straddle(Exchanger& exchanger, Line& line, const ConsoleRequest& request);
    void checkTheEnd(Exchanger& exchanger, const Case& expected, const QString& devicePath,
                     bool window);
    void nextSendWorks(Exchanger& exchanger, Line& line, ConsoleKind console);

    int m_serial = 0;
};

void FaultMatrixTest::endsCleanly_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("window");
    for (int index = 0; index < int(std::size(kCases)); ++index) {
        QTest::addRow("%s, engine", kCases[index].name) << index << false;
        QTest::addRow("%s, window", kCases[index].name) << index << true;
    }
}

void FaultMatrixTest::endsCleanly()
{
    QFETCH(int, index);
    QFETCH(bool, window);
    const Case& row = kCases[index];
    if (row.fault == Fault::ExclusiveHolder || row.fault == Fault::PermissionDenied) {
        const AsOrdinaryUser user;
        if (!user.active())
            QSKIP("cannot leave root, which passes TIOCEXCL and every permission check");
    }
    program() = ProgramState{};
    program().PortNo = QStringLiteral("1");
    program().BaudRate = 38400;

    const int descriptors = openDescriptors();
    {
        const bool byHand =
            row.fault == Fault::VanishWhileWriting || row.fault == Fault::ReplyFlood ||
            row.fault == Fault::ReplyStraddlingTheEnd || row.fault == Fault::OutputStalled;
        Line line;
        if (byHand)
            line.pty = std::make_unique<PtyPair>();
        else
            line.device = std::make_unique<SimulatedDevice>();
        const PortMapOverride map(line.path());
        Exchanger exchanger(row.console,
                            window ? Exchanger::Through::Window : Exchanger::Through::Engine);

        const QString devicePath = line.path();
        provoke(row.fault, exchanger, line, {row.console, QByteArray("FAULT")});
        if (QTest::currentTestFailed())
            return;
        checkTheEnd(exchanger, row, devicePath, window);
        if (QTest::currentTestFailed())
            return;
        if (row.failure == SerialError::Kind::Vanished)
            line.renew();
        nextSendWorks(exchanger, line, row.console);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(exchanger.boxes().size(), window && row.failure ? 1 : 0);
    }
    QCOMPARE(openDescriptors(), descriptors);
}

void FaultMatrixTest::provoke(Fault fault, Exchanger& exchanger, Line& line, ConsoleRequest request)
{
    const QByteArray path = QFile::encodeName(line.path());
    switch (fault) {
    case Fault::LockHeld: {
        // Even root, whom TIOCEXCL does not stop, keeps off a device another program locked.
        PortHolder holder(PortHolder::How::Locked, line.path());
        QVERIFY(holder.holding());
        exchanger.send(request);
        QVERIFY(!exchanger.running());
        QVERIFY(holder.release());
        return;
    }
    case Fault::ExclusiveHolder: {
        PortHolder holder(PortHolder::How::Exclusive, line.path());
        QVERIFY(holder.holding());
        QCOMPARE(::chmod(path.constData(), 0666), 0);
        {
            const AsOrdinaryUser user;
            exchanger.send(request);
        }
        QVERIFY(!exchanger.running());
        QVERIFY(holder.release());
        return;
    }
    case Fault::PermissionDenied: {
        // No access for anyone, so that the owner of the pty is refused too; root is not.
        QCOMPARE(::chmod(path.constData(), 0), 0);
        const AsOrdinaryUser user;
        exchanger.send(request);
        QVERIFY(!exchanger.running());
        return;
    }
    case Fault::VanishWhileWriting: {
        request.message = QByteArray(kLargeFrame, 'W');
        exchanger.send(request);
        QByteArray arrived;
        QTRY_VERIFY((arrived += readFor(line.farEnd(), kLargeFrame, 0)).size() >= 4096);
        QVERIFY(exchanger.running());
        line.pty->closeFarEnd();
        break;
    }
    case Fault::VanishWhileReplying:
        line.device->setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
        exchanger.send(request);
        QTRY_COMPARE(line.device->frames().size(), 1);
        line.device->send(hex("06") + "PART");
        QTRY_VERIFY(!exchanger.transaction().reply().isEmpty());
        line.device->vanish();
        break;
    case Fault::ReplyFlood:
        flood(exchanger, line, request);
        return;
    case Fault::ReplyStraddlingTheEnd:
        straddle(exchanger, line, request);
        return;
    case Fault::ReplyGoingOnAfterEot:
        line.device->setBehaviour(
            {SimulatedDevice::Mode::Bytes, hex("06") + "EOT" + hex("04") + "LATE", 0});
        exchanger.send(request);
        QTRY_VERIFY(!exchanger.running());
        QCOMPARE(exchanger.transaction().reply(), hex("06") + "EOT" + hex("04"));
        return;
    case Fault::OutputStalled: {
        // The far end reads nothing until the program gives up on the frame. What it had taken
        // in by then (its own input queue) it keeps; no more of the frame may follow, now or
        // ahead of the next one.
        request.message = QByteArray(kLargeFrame, 'S');
        exchanger.send(request);
        QTRY_VERIFY_WITH_TIMEOUT(!exchanger.running(), kEndMs);
        int takenIn = 0;
        QCOMPARE(::ioctl(line.farEnd(), FIONREAD, &takenIn), 0);
        QCOMPARE(readFor(line.farEnd(), kLargeFrame, 200).size(), qsizetype(takenIn));
        return;
    }
    }
    QTRY_VERIFY_WITH_TIMEOUT(!exchanger.running(), kEndMs);
}

// A flood during the window and after it: the window reads at most one byte a poll, in order;
// the control takes no more off the line than a bounded buffer holds (what it never takes it
// cannot keep in memory); and the event loop keeps turning.
void FaultMatrixTest::flood(Exchanger& exchanger, Line& line, const ConsoleRequest& request)
{
    // A timer posted when the first byte arrives must fire while the window still runs.
    QObject probe;
    bool posted = false;
    bool firedWhileRunning = false;
    connect(&exchanger.port(), &SerialControl::inputArrived, &probe, [&] {
        if (posted)
            return;
        posted = true;
        QTimer::singleShot(0, &probe, [&] { firedWhileRunning = exchanger.running(); });
    });
    Flood flood(line.farEnd(), frameOf(request).size());
    exchanger.send(request);
    QTRY_VERIFY_WITH_TIMEOUT(!exchanger.running(), kEndMs);
    const qint64 takenInTheWindow = flood.taken();
    // The flood goes on until the line holds bytes no window read, for the next Send to meet.
    QTRY_VERIFY(waitingOnTheLine(*line.pty) > 0);
    flood.stop();

    QCOMPARE(exchanger.transaction().state(), Transaction::State::Finished);
    const QByteArray reply = exchanger.transaction().reply();
    QVERIFY(!reply.isEmpty());
    QVERIFY2(reply.size() <= exchanger.transaction().polls(),
             qPrintable(QString::number(reply.size())));
    QCOMPARE(reply, letters(reply.size()));
    QVERIFY(firedWhileRunning);
    QVERIFY2(takenInTheWindow < 1024 * 1024,
             qPrintable(QStringLiteral("%1 bytes taken off the line").arg(takenInTheWindow)));
}

// A reply written a byte every 5 ms for a second, while the Dedicated window lasts half of it:
// the window reads the first part in order, and the rest never reaches a later exchange. The
// bytes are written by hand, so each is on the line when its write returns.
void FaultMatrixTest::straddle(Exchanger& exchanger, Line& line, const ConsoleRequest& request)
{
    const QByteArray stream = letters(200);
    int sent = 0;
    QTimer pacer;
    connect(&pacer, &QTimer::timeout, this, [&] {
        if (sent < stream.size())
            writeAll(line.farEnd(), stream.mid(sent++, 1));
    });
    exchanger.send(request);
    const qsizetype frameSize = frameOf(request).size();
    QByteArray frame;
    QTRY_VERIFY((frame += readFor(line.farEnd(), frameSize, 0)).size() >= frameSize);
    pacer.start(5);
    QTRY_VERIFY_WITH_TIMEOUT(!exchanger.running(), kEndMs);
    const int sentInTheWindow = sent;
    QTRY_COMPARE_WITH_TIMEOUT(sent, int(stream.size()), kEndMs);

    const QByteArray reply = exchanger.transaction().reply();
    QVERIFY2(!reply.isEmpty() && sentInTheWindow < stream.size(),
             "the reply did not straddle the window's end");
    QVERIFY(reply.size() <= sentInTheWindow);
    QCOMPARE(reply, stream.left(reply.size()));
}

void FaultMatrixTest::checkTheEnd(Exchanger& exchanger, const Case& expected,
                                  const QString& devicePath, bool window)
{
    const Transaction& transaction = exchanger.transaction();
    if (expected.failure) {
        QCOMPARE(transaction.state(), Transaction::State::Failed);
        const SerialError error = *transaction.error();
        QCOMPARE(error.kind(), *expected.failure);
        QVERIFY2(error.reason().contains(QLatin1String(expected.reason)),
                 qPrintable(error.reason()));
        if (window) {
            QCOMPARE(exchanger.boxes().size(), 1);
            QCOMPARE(exchanger.boxes().front().text, QStringLiteral("Port Disorder"));
            QCOMPARE(exchanger.boxes().front().detail, error.reason());
        }
    } else {
        QCOMPARE(transaction.state(), Transaction::State::Finished);
        QVERIFY(exchanger.boxes().isEmpty());
    }
    QVERIFY(!exchanger.port().portOpen());
    QVERIFY(!lockFileExists(devicePath));
}

// The next Send on the port: the far end gets this frame and nothing before it, and the reply
// read is the one the far end gave, which no earlier exchange carried.
void FaultMatrixTest::nextSendWorks(Exchanger& exchanger, Line& line, ConsoleKind console)
{
    const ConsoleRequest request{console, QByteArray("NEXT")};
    const QByteArray frame = frameOf(request);
    const QByteArray reply = hex("06") + QByteArray::number(++m_serial) + hex("04");
    std::future<QByteArray> handRead;
    if (line.device) {
        line.device->clearReceived();
        line.device->setBehaviour({SimulatedDevice::Mode::Bytes, reply, 0});
    } else {
        handRead = std::async(std::launch::async, [farEnd = line.farEnd(), &frame, &reply] {
            const QByteArray got = readFor(farEnd, frame.size(), 10000);
            writeAll(farEnd, reply);
            return got;
        });
    }
    exchanger.send(request);
    QTRY_VERIFY_WITH_TIMEOUT(!exchanger.running(), kEndMs);
    const QByteArray received = line.device ? line.device->received() : handRead.get();
    QCOMPARE(received, frame);
    QCOMPARE(exchanger.transaction().state(), Transaction::State::Finished);
    QCOMPARE(exchanger.transaction().reply(), reply);
    QVERIFY(!exchanger.port().portOpen());
}

void FaultMatrixTest::sendCommandEndsCleanly_data()
{
    QTest::addColumn<int>("index");
    for (int index = 0; index < int(std::size(kCases)); ++index) {
        if (kCases[index].failure)
            QTest::addRow("%s", kCases[index].name) << index;
    }
}

// The command is another process: it meets the holder, the mode bits and the line as a program
// of an ordinary user does (the child leaves root when the test runs as root).
void FaultMatrixTest::sendCommandEndsCleanly()
{
    QFETCH(int, index);
    const Case& row = kCases[index];
    const bool ordinaryUser =
        row.fault == Fault::ExclusiveHolder || row.fault == Fault::PermissionDenied;
    if (ordinaryUser && ::geteuid() == 0 && !AsOrdinaryUser().active())
        QSKIP("cannot leave root, which passes TIOCEXCL and every permission check");
    std::optional<CommandForNobody> forNobody;
    if (ordinaryUser && ::geteuid() == 0) {
        forNobody.emplace();
        if (forNobody->path().isEmpty())
            QSKIP(qPrintable(QStringLiteral("rs232c is out of the user nobody's reach, in the "
                                            "build tree and in a copy under %1")
                                 .arg(QDir::tempPath())));
    }
    const QString command = forNobody ? forNobody->path() : QStringLiteral(RS232C_COMMAND_PATH);
    const bool byHand = row.fault == Fault::VanishWhileWriting ||
                        row.fault == Fault::VanishWhileReplying ||
                        row.fault == Fault::OutputStalled;
    Line line;
    if (byHand)
        line.pty = std::make_unique<PtyPair>();
    else
        line.device = std::make_unique<SimulatedDevice>();
    const QString path = line.path();
    const QByteArray encoded = QFile::encodeName(path);
    const QStringList sendFault = {"send",
                                   "--console",
                                   consoleName(row.console),
                                   "--device",
                                   path,
                                   row.fault == Fault::OutputStalled ||
                                           row.fault == Fault::VanishWhileWriting
                                       ? QString(kLargeFrame, u'S')
                                       : QStringLiteral("FAULT")};
    QProcess send;
    if (ordinaryUser && ::geteuid() == 0)
        send.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(126);
        });
    std::unique_ptr<PortHolder> holder;
    switch (row.fault) {
    case Fault::LockHeld:
    case Fault::ExclusiveHolder:
        holder = std::make_unique<PortHolder>(
            row.fault == Fault::LockHeld ? PortHolder::How::Locked : PortHolder::How::Exclusive,
            path);
        QVERIFY(holder->holding());
        QCOMPARE(::chmod(encoded.constData(), 0666), 0);
        startCommand(send, command, sendFault);
        break;
    case Fault::PermissionDenied:
        QCOMPARE(::chmod(encoded.constData(), 0), 0);
        startCommand(send, command, sendFault);
        break;
    case Fault::VanishWhileWriting:
        startCommand(send, command, sendFault);
        QVERIFY(!readFor(line.farEnd(), 4096, 10000).isEmpty());
        line.pty->closeFarEnd();
        break;
    case Fault::VanishWhileReplying: {
        // The device answers the frame with the start of a reply and goes away at once, while
        // the command still waits for the rest (a Loader reply ends at EOT).
        startCommand(send, command, sendFault);
        QByteArray frame;
        QTRY_VERIFY_WITH_TIMEOUT((frame += readFor(line.farEnd(), 64, 0)).endsWith('\x03'), 20000);
        const QByteArray part = hex("06") + "PART";
        QCOMPARE(::write(line.farEnd(), part.constData(), size_t(part.size())),
                 ssize_t(part.size()));
        line.pty->closeFarEnd();
        break;
    }
    default:
        startCommand(send, command, sendFault);
        break;
    }
    const CommandResult result = resultOf(send);
    if (holder)
        QVERIFY(holder->release());
    QCOMPARE(result.status, 4);
    const QStringList errors = QString::fromUtf8(result.err).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors[0].startsWith("rs232c: Port Disorder: ") &&
                 errors[0].contains(QLatin1String(row.reason)),
             qPrintable(errors[0]));
    QVERIFY(!lockFileExists(path));

    // The next send on the port gets its own answer.
    if (line.pty || row.failure == SerialError::Kind::Vanished)
        line.renew();
    else
        QCOMPARE(::chmod(encoded.constData(), 0600), 0);
    const CommandResult next =
        runCommand({"send", "--console", "loader", "--device", line.path(), "NEXT"});
    QCOMPARE(next.status, 0);
    QCOMPARE(line.device->frames().size(), 1);
}

int main(int argc, char** argv)
{
    if (PortHolder::isHolderCall(argc, argv))
        return PortHolder::hold(argc, argv);
    QApplication app(argc, argv);
    FaultMatrixTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fault_matrix.moc"
