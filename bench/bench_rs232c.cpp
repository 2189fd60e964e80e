// Prints one table of the tester's speed figures over a pty with the simulated device:
// Loader round trips (engine, window, a bare QSerialPort cycle, a python3-serial peer), the
// silent reply windows of the consoles (also after a burst), CPU use during a silent window, the
// delay a click sees while a transaction runs, and how long texts keep the window responsive.
// Figures only: nothing here passes or fails.

#include "BenchSupport.h"
#include "device/SimulatedDevice.h"
#include "engine/Transaction.h"
#include "protocols/DedicatedProtocol.h"
#include "protocols/LoaderProtocol.h"
#include "protocols/ProgramState.h"
#include "protocols/UserDefFrame.h"
#include "serial/PortMap.h"
#include "windows/ConsoleWindow.h"
#include "windows/DedicatedWindow.h"
#include "windows/LoaderWindow.h"
#include "windows/WindowServices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QStorageInfo>
#include <QSysInfo>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRoundTrips = 300;
constexpr int kWindows = 5;
const QByteArray kLoaderFrame = QByteArray::fromHex("02414243433603");
const QByteArray kAckEot = QByteArray::fromHex("0604");

// Message boxes would stop the measurement: answer them at once.
class SilentServices : public WindowServices {
public:
    void messageBox(QWidget*, const QString&, const QString&, const QString&) override {}
    void endProgram() override {}
};

struct Figures {
    double median = 0;
    double p99 = 0;
    double max = 0;
};

Figures summarise(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) {
        return values[std::min(values.size() - 1, size_t(q * values.size()))];
    };
    return {at(0.5), at(0.99), values.back()};
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void waitFor(Transaction& transaction)
{
    if (!transaction.running())
        return;
    QEventLoop loop;
    QObject::connect(&transaction, &Transaction::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

void row(const char* what, const char* value, const char* target)
{
    std::printf("| %-58s | %-30s | %-18s |\n", what, value, target);
}

std::vector<double> engineRoundTrips()
{
    SerialControl port;
    Transaction transaction(port);
    std::vector<double> ms;
    QElapsedTimer clock;
    for (int i = 0; i < kRoundTrips; ++i) {
        clock.start();
        transaction.begin(loaderPlan("ABC", program()));
        transaction.run();
        waitFor(transaction);
        ms.push_back(clock.nsecsElapsed() / 1e6);
        if (transaction.reply() != kAckEot)
            qFatal("engine: no ACK EOT from the device");
    }
    return ms;
}

std::vector<double> windowRoundTrips()
{
    LoaderWindow window{program()};
    window.show();
    window.findChild<QPlainTextEdit*>(QStringLiteral("송신"))->setPlainText(QStringLiteral("ABC"));
    std::vector<double> ms;
    QElapsedTimer clock;
    for (int i = 0; i < kRoundTrips; ++i) {
        clock.start();
        window.전송_Click();
        waitFor(window.transaction());
        ms.push_back(clock.nsecsElapsed() / 1e6);
        if (window.RecvData() != kAckEot)
            qFatal("window: no ACK EOT from the device");
    }
    return ms;
}

std::vector<double> bareQSerialPortRoundTrips(const QString& path)
{
    std::vector<double> ms;
    QElapsedTimer clock;
    for (int i = 0; i < kRoundTrips; ++i) {
        clock.start();
        QSerialPort port(path);
        port.setBaudRate(38400);
        port.open(QIODevice::ReadWrite);
        port.clear(QSerialPort::Input);
        port.write(kLoaderFrame);
        port.waitForBytesWritten(1000);
        QByteArray reply;
        while (!reply.endsWith('\x04') &&
               (port.bytesAvailable() > 0 || port.waitForReadyRead(1000)))
            reply += port.read(1);
        port.close();
        if (reply != kAckEot)
            qFatal("bare QSerialPort cycle: no ACK EOT from the device (%s)",
                   qPrintable(port.errorString()));
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    return ms;
}

// The same exchange with python3-serial as the peer; all -1 when it cannot run.
Figures pythonRoundTrips(const QString& path)
{
    QProcess python;
    python.start(bench::python(),
                 {QStringLiteral("-c"), QString::fromLatin1(bench::kPythonExchanges), path,
                  QString::number(kRoundTrips)});
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        return {-1, -1, -1};
    std::vector<double> times;
    for (const QByteArray& value : python.readAllStandardOutput().trimmed().split(' '))
        times.push_back(value.toDouble());
    return summarise(times);
}

struct SilentWindow {
    Figures seconds;
    double cpuPercent = 0;
};

// From the write to the close, with a device that never answers or answers once at the start.
SilentWindow silentWindows(const std::function<TransactionPlan()>& plan)
{
    SerialControl port;
    Transaction transaction(port);
    std::vector<double> seconds;
    double cpu = 0;
    double wall = 0;
    QElapsedTimer clock;
    for (int i = 0; i < kWindows; ++i) {
        // A failed transaction ends early: its window would pass for a figure.
        if (!transaction.begin(plan()))
            qFatal("silent window: %s", qPrintable(transaction.error()->reason()));
        clock.start();
        const double cpuBefore = cpuSeconds();
        transaction.run();
        waitFor(transaction);
        if (transaction.state() == Transaction::State::Failed)
            qFatal("silent window: %s", qPrintable(transaction.error()->reason()));
        cpu += cpuSeconds() - cpuBefore;
        seconds.push_back(clock.nsecsElapsed() / 1e9);
        wall += seconds.back();
    }
    return {summarise(seconds), 100.0 * cpu / wall};
}

// Posts a click to a button every 7 ms while a silent Dedicated transaction runs in its window,
// and measures how long each click waits before its handler runs.
Figures clickDelays()
{
    DedicatedWindow window{program()};
    window.show();
    QPushButton probe(QStringLiteral("probe"));
    probe.resize(80, 30);
    probe.show();
    std::vector<double> ms;
    QElapsedTimer clock;
    clock.start();
    qint64 postedAt = 0;
    QObject::connect(&probe, &QPushButton::clicked,
                     [&] { ms.push_back((clock.nsecsElapsed() - postedAt) / 1e6); });
    QTimer clicker;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        const QPointF at(10, 10);
        postedAt = clock.nsecsElapsed();
        QCoreApplication::postEvent(&probe, new QMouseEvent(QEvent::MouseButtonPress, at,
                                                            probe.mapToGlobal(at), Qt::LeftButton,
                                                            Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(&probe, new QMouseEvent(QEvent::MouseButtonRelease, at,
                                                            probe.mapToGlobal(at), Qt::LeftButton,
                                                            Qt::NoButton, Qt::NoModifier));
    });
    for (int i = 0; i < 3; ++i) {
        window.전송_Click();
        if (!window.transactionRunning())
            qFatal("click delays: the Dedicated send did not start");
        clicker.start(7);
        waitFor(window.transaction());
        clicker.stop();
    }
    return summarise(ms);
}

// The longest stretch the event loop stays away while work runs: a zero timer notes the gap
// between its turns, which is what a user sees as a frozen window.
class FreezeProbe {
public:
    FreezeProbe()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.nsecsElapsed());
            m_clock.start();
        });
        m_clock.start();
        m_timer.start(0);
    }
    double longestMs() const { return m_longest / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

struct LongTexts {
    double toHexMs = 0;
    double toCharactersMs = 0;
    double keystrokeMs = 0;
    double sendMs = 0;
};

// A format switch of a 120,000-character 송신 over a full history page (ten exchanges), both
// ways; then a keystroke and a Send after a paste of 60,000 Korean characters, each as the
// longest stretch the window stays frozen.
LongTexts longTexts()
{
    LongTexts figures;
    LoaderWindow window{program()};
    window.show();
    auto* send = window.findChild<QPlainTextEdit*>(QStringLiteral("송신"));
    for (int k = 0; k < 10; ++k)
        window.historyUpdate(kLoaderFrame, kAckEot);
    send->setPlainText(QString(120000, QLatin1Char('A')));
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    window.findChild<QRadioButton*>(QStringLiteral("ASCii"))->click();
    QCoreApplication::processEvents();
    figures.toHexMs = clock.nsecsElapsed() / 1e6;
    clock.start();
    window.findChild<QRadioButton*>(QStringLiteral("Hexa"))->click();
    QCoreApplication::processEvents();
    figures.toCharactersMs = clock.nsecsElapsed() / 1e6;

    send->setPlainText(QString(60000, QChar(0xD55C))); // 한
    send->moveCursor(QTextCursor::End);
    send->setFocus();
    QCoreApplication::processEvents();
    {
        FreezeProbe probe;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
        QCoreApplication::sendEvent(send, &press);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        figures.keystrokeMs = probe.longestMs();
    }
    {
        FreezeProbe probe;
        window.전송_Click();
        waitFor(window.transaction());
        QCoreApplication::processEvents();
        figures.sendMs = probe.longestMs();
        if (window.RecvData() != kAckEot)
            qFatal("long texts: no ACK EOT from the device");
    }
    return figures;
}

QByteArray format(const Figures& f, const char* unit, double scale = 1)
{
    return QStringLiteral("%1 / %2 / %3 %4")
        .arg(f.median * scale, 0, 'f', 3)
        .arg(f.p99 * scale, 0, 'f', 3)
        .arg(f.max * scale, 0, 'f', 3)
        .arg(QString::fromLatin1(unit))
        .toUtf8();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SilentServices services;
    WindowServices::install(&services);
    WindowServices::substituteFonts(); // the windows' Korean face, as the program has it

    SimulatedDevice device;
    PortMap::setDevice(1, device.devicePath());
    PortMap::setDevice(2, device.devicePath());
    program().PortNo = QStringLiteral("1");
    program().BaudRate = 38400;

    std::printf("Machine: %s, %d cores; Qt %s\n",
                QSysInfo::prettyProductName().toUtf8().constData(), QThread::idealThreadCount(),
                qVersion());
    std::printf("Lock files in /run/lock on %s.\n",
                QStorageInfo(QStringLiteral("/run/lock")).fileSystemType().constData());
    std::printf("Figures are median / p99 / max over %d round trips or %d windows.\n\n",
                kRoundTrips, kWindows);
    std::printf("| %-58s | %-30s | %-18s |\n", "measure", "value", "target");
    std::printf("|%s|%s|%s|\n", QByteArray(60, '-').constData(), QByteArray(32, '-').constData(),
                QByteArray(20, '-').constData());

    const Figures engine = summarise(engineRoundTrips());
    row("Loader round trip, ACK EOT at once: engine", format(engine, "ms"), "median <= 1 ms");
    const Figures window = summarise(windowRoundTrips());
    row("Loader round trip: through the window (Send click)", format(window, "ms"),
        "median <= 5 ms");
    const Figures bare = summarise(bareQSerialPortRoundTrips(device.devicePath()));
    row("Loader round trip: bare QSerialPort cycle", format(bare, "ms"), "(reference)");
    const Figures python = pythonRoundTrips(device.devicePath());
    if (python.median > 0) {
        row("Loader round trip: python3-serial peer", format(python, "ms"), "(reference)");
        row("  ratio engine / python3-serial (medians)",
            QByteArray::number(engine.median / python.median, 'f', 1) + " x", "(see below)");
        row("  ratio bare QSerialPort / python3-serial (medians)",
            QByteArray::number(bare.median / python.median, 'f', 1) + " x", "(see below)");
    } else {
        row("Loader round trip: python3-serial peer", "python3-serial not available",
            "(reference)");
    }

    device.setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
    const SilentWindow loader = silentWindows([] { return loaderPlan("ABC", program()); });
    row("Silent window, Loader (501 polls), write to close", format(loader.seconds, "s"),
        "0.5 s within 10%");
    const SilentWindow dedicated =
        silentWindows([] { return dedicatedPlan("ABC", false, program()); });
    row("Silent window, Dedicated (500 polls), write to close", format(dedicated.seconds, "s"),
        "0.5 s within 10%");
    const SilentWindow userDef =
        silentWindows([] { return userDefPlan(UserDefSelections{}, "ABC", program()); });
    row("Silent window, User Define (1000 polls), write to close", format(userDef.seconds, "s"),
        "1 s within 10%");
    device.setBehaviour({SimulatedDevice::Mode::Bytes, QByteArray(300, 'b'), 0});
    const SilentWindow dedicatedBurst =
        silentWindows([] { return dedicatedPlan("ABC", false, program()); });
    row("Window after a 300-byte burst, Dedicated (500 polls)", format(dedicatedBurst.seconds, "s"),
        "0.5 s within 10%");
    const SilentWindow userDefBurst =
        silentWindows([] { return userDefPlan(UserDefSelections{}, "ABC", program()); });
    row("Window after a 300-byte burst, User Define (1000 polls)",
        format(userDefBurst.seconds, "s"), "1 s within 10%");
    row("CPU during a silent window (Loader, Dedicated, User Def.)",
        QByteArray::number(loader.cpuPercent, 'f', 2) + ", " +
            QByteArray::number(dedicated.cpuPercent, 'f', 2) + ", " +
            QByteArray::number(userDef.cpuPercent, 'f', 2) + " % of a core",
        "< 0.5% of one core");
    const Figures clicks = clickDelays();
    row("Click handled while a transaction runs", format(clicks, "ms"), "<= 20 ms");

    device.setBehaviour({SimulatedDevice::Mode::Protocol, {}, 0});
    const LongTexts texts = longTexts();
    row("Format switch, 120,000 characters + full history: to hex",
        QByteArray::number(texts.toHexMs, 'f', 1) + " ms", "< 300 ms");
    row("Format switch, 120,000 characters + full history: back",
        QByteArray::number(texts.toCharactersMs, 'f', 1) + " ms", "< 300 ms");
    row("Keystroke after a 60,000-character paste (frozen)",
        QByteArray::number(texts.keystrokeMs, 'f', 1) + " ms", "< 50 ms");
    row("Send after a 60,000-character paste (longest freeze)",
        QByteArray::number(texts.sendMs, 'f', 1) + " ms", "< 50 ms");

    std::printf(
        "\nQSerialPort takes a lock file in /run/lock on every open (written with fdatasync)\n"
        "and removes it on close; python3-serial takes none. That lock is most of the gap\n"
        "between the two peers, and the tester keeps it: it stops two programs from driving\n"
        "one device. Where /run/lock is on a disk rather than tmpfs, each fdatasync and\n"
        "unlink reaches the disk and round trips grow to what the disk allows.\n");
    return 0;
}
