#include "commands/MonitorCommand.h"

#include "codec/WholeNumber.h"
#include "commands/CommandParser.h"
#include "commands/DeviceLink.h"
#include "commands/ExitStatus.h"
#include "commands/HostPty.h"
#include "commands/MonitorForwarder.h"
#include "commands/Output.h"
#include "commands/SignalWatcher.h"
#include "engine/SessionLog.h"
#include "plans/ExchangeSetup.h"
#include "serial/PortMap.h"
#include "serial/SerialError.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonObject>
#include <QThread>

#include <memory>

namespace {

using std::chrono::microseconds;

// Display lines held for a terminal that does not keep up before they are dropped.
constexpr qsizetype kQueuedLines = 65536;
constexpr qint64 kLongestGapMs = 60000;

const char kEpilogue[] =
    "In the middle, the program opens the --device and offers a pty at the --link for the\n"
    "host program to open instead; every byte is passed on at once both ways. The device\n"
    "starts at 38400,n,8,1 and follows the speed, data bits, parity and stop bits the host\n"
    "sets on the pty, as far as the pty lets them be seen (see the README). Beside the line,\n"
    "two receive-only ports on a Y-cable hear the host (--listen-a) and the device\n"
    "(--listen-b); nothing is written.\n\n"
    "Each frame is one line: local time, host> or <device, hex, characters, and its form\n"
    "(loader, dedicated, userdef with its check ok or bad; ack, nak, eot; other). A reply also\n"
    "shows its class word and its latency from the frame's last byte to its first byte.\n\n"
    "Exit status: 0 after SIGINT, SIGHUP or SIGTERM (a summary on standard error), 4 a port\n"
    "that cannot be opened, 64 a refused command line, 73 a link or log that cannot be made, 74\n"
    "standard output or the log could not be written. The link is removed on every way out\n"
    "but SIGKILL.\n\n"
    "Example: rs232c monitor --device /dev/ttyUSB0 --link /tmp/ttyHOST";

constexpr CommandParser::Option kOptions[] = {
    {"device", "In the middle: the device's port.", "path"},
    {"link", "In the middle: the symbolic link to the host's pty (removed on exit).", "path"},
    {"listen-a", "Beside the line: the port that hears the host.", "path"},
    {"listen-b", "Beside the line: the port that hears the device.", "path"},
    {"settings", "Beside the line: both ports' settings (default 38400,n,8,1).", "text"},
    {"console", "The forms read: loader, dedicated, userdef or any (default).", "name"},
    {"header", "The userdef Header: ENQ(05) (default), STX(02), ACK(06), NAK(21), NUL(00), NONE.",
     "text"},
    {"bcc1", "The userdef BCC1: SUM_1, SUM_2 or NONE (default).", "text"},
    {"tail", "The userdef Tail: ETX(03), EOT(04) (default), NUL(00) or NONE.", "text"},
    {"bcc2", "The userdef BCC2: SUM_1 (default), SUM_2 or NONE.", "text"},
    {"gap", "A quiet gap that ends a frame (default two character times, at least 1 ms).", "ms"},
    {"json", "One JSON object a line: each frame and each pairing.", nullptr},
    {"log", "Appends each pairing to the file as an exchange record.", "file"},
};

struct Setup {
    MonitorSetup monitor;
    QString link;
    QString logPath;
    bool json = false;
};

// Reads the command line; the refusal when it cannot.
QString readSetup(const CommandParser& parser, Setup* setup)
{
    const auto value = [&](const char* name) { return parser.value(QLatin1String(name)); };
    const auto given = [&](const char* name) { return parser.isSet(QLatin1String(name)); };
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("monitor takes no arguments.");
    const bool middle = given("device") || given("link");
    const bool beside = given("listen-a") || given("listen-b");
    if (middle == beside)
        return QStringLiteral("either --device and --link, or --listen-a and --listen-b.");
    MonitorSetup& monitor = setup->monitor;
    monitor.listen = beside;
    if (middle) {
        if (value("device").isEmpty() || value("link").isEmpty())
            return QStringLiteral("--device and --link go together, each with a path.");
        if (given("settings"))
            return QStringLiteral("--settings is for --listen-a and --listen-b: in the middle "
                                  "the device follows the host's settings.");
        monitor.ports[int(MonitorSide::Device)] = value("device");
        setup->link = value("link");
    } else {
        if (value("listen-a").isEmpty() || value("listen-b").isEmpty())
            return QStringLiteral("--listen-a and --listen-b go together, each with a path.");
        monitor.ports[int(MonitorSide::Host)] = value("listen-a");
        monitor.ports[int(MonitorSide::Device)] = value("listen-b");
        if (given("settings")) {
            try {
                SerialControl().setSettings(value("settings"));
            } catch (const SerialError& error) {
                return QStringLiteral("--settings: %1").arg(error.reason());
            }
            monitor.settings = value("settings").remove(QLatin1Char(' '));
        }
    }
    if (given("console")) {
        const std::optional<MonitorForms::Consoles> consoles =
            MonitorForms::consolesFromName(value("console"));
        if (!consoles)
            return QStringLiteral("--console: loader, dedicated, userdef or any expected, not "
                                  "\"%1\"")
                .arg(value("console"));
        monitor.forms.consoles = *consoles;
    }
    UserDefSelections& selections = monitor.forms.selections;
    QString* const fields[] = {&selections.header, &selections.bcc1, &selections.tail,
                               &selections.bcc2};
    const char* const names[] = {"header", "bcc1", "tail", "bcc2"};
    for (int i = 0; i < 4; ++i) {
        if (!given(names[i]))
            continue;
        if (monitor.forms.consoles != MonitorForms::Consoles::UserDefine)
            return QStringLiteral("--%1 is an option of --console userdef.")
                .arg(QLatin1String(names[i]));
        *fields[i] = value(names[i]);
    }
    QString field;
    if (const QString problem = ExchangeChecks::selections(selections, &field); !problem.isEmpty())
        return QStringLiteral("--%1: %2").arg(field, problem);
    if (given("gap")) {
        const WholeNumber limits{1, kLongestGapMs};
        const std::optional<qint64> ms = limits.read(value("gap"));
        if (!ms)
            return QStringLiteral("--gap: ") + limits.refusal(value("gap"));
        monitor.gap = std::chrono::milliseconds(*ms);
    }
    setup->logPath = value("log");
    if (given("log") && setup->logPath.isEmpty())
        return QStringLiteral("--log needs a file.");
    setup->json = given("json");
    return {};
}

// Local ISO 8601 with microseconds: 2026-12-09T04:12:33.123456+01:00.
QString localTime(std::chrono::system_clock::time_point time)
{
    const auto since = std::chrono::duration_cast<microseconds>(time.time_since_epoch()).count();
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(since / 1000);
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.")) +
           QStringLiteral("%1%2%3:%4")
               .arg(since % 1'000'000, 6, 10, QLatin1Char('0'))
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString sideName(MonitorSide side)
{
    return side == MonitorSide::Host ? QStringLiteral("host") : QStringLiteral("device");
}

QString checkName(const std::optional<bool>& right)
{
    return right ? (*right ? QStringLiteral("ok") : QStringLiteral("bad")) : QString();
}

// 2026-12-09T04:12:33.123456+01:00 host>   02414243433603 ␂ABCC6␃  loader ok
// 2026-12-09T04:12:33.124011+01:00 <device 0604 ␆␄  ack  ACK  latency 0.512 ms
QString textLine(const MonitorFrame& frame, const ExchangeRecord* record)
{
    QString text =
        QStringLiteral("%1 %2 %3 %4  %5")
            .arg(localTime(frame.first),
                 frame.side == MonitorSide::Host ? QStringLiteral("host>  ")
                                                 : QStringLiteral("<device"),
                 Output::hexDigits(frame.bytes), Output::characters(frame.bytes), frame.form);
    if (frame.right)
        text += QLatin1Char(' ') + checkName(frame.right);
    if (record)
        text +=
            QStringLiteral("  %1  latency %2")
                .arg(record->word(), millisecondsText(record->latency.value_or(microseconds(0))));
    return text;
}

QJsonObject frameJson(const MonitorFrame& frame)
{
    return {
        {QStringLiteral("event"), QStringLiteral("frame")},
        {QStringLiteral("direction"), sideName(frame.side)},
        {QStringLiteral("time"), localTime(frame.first)},
        {QStringLiteral("bytes"), Output::hexDigits(frame.bytes)},
        {QStringLiteral("text"), Output::characters(frame.bytes)},
        {QStringLiteral("form"), frame.form},
        {QStringLiteral("check"), frame.right ? QJsonValue(checkName(frame.right)) : QJsonValue()}};
}

QJsonObject pairingJson(const ExchangeRecord& record)
{
    QJsonObject object = record.toJson();
    // The monitor reads no line in polls.
    object.remove(QStringLiteral("polls"));
    object.insert(QStringLiteral("event"), QStringLiteral("exchange"));
    return object;
}

class Printer {
public:
    Printer(const Setup& setup, MonitorQueue& queue, SessionLog* log)
        : m_setup(setup), m_queue(queue), m_log(log)
    {
    }

    // Prints and logs what the queue holds; false once the log cannot be written.
    bool drain()
    {
        MonitorQueue::Batch batch = m_queue.take();
        if (batch.dropped > 0)
            dropped(batch.dropped);
        for (const MonitorEvent& event : batch.events) {
            if (!event.notice.isEmpty())
                Output::error(event.notice);
            if (event.frame || event.record)
                print(event);
            if (event.record && m_log && !m_log->append(event.record->jsonLine())) {
                Output::error(
                    QStringLiteral("the log cannot be written: %1").arg(m_log->lastError()));
                return false;
            }
        }
        return true;
    }

private:
    void dropped(qint64 lines)
    {
        if (m_setup.json)
            Output::json({{QStringLiteral("event"), QStringLiteral("dropped")},
                          {QStringLiteral("lines"), lines}});
        else
            Output::line(QStringLiteral("... %1 display lines dropped: the output did not keep "
                                        "up (the line lost nothing)")
                             .arg(lines));
    }

    void print(const MonitorEvent& event)
    {
        const ExchangeRecord* record = event.record ? &*event.record : nullptr;
        if (m_setup.json) {
            if (event.frame)
                Output::json(frameJson(*event.frame));
            if (record)
                Output::json(pairingJson(*record));
        } else if (event.frame) {
            Output::line(textLine(*event.frame, record));
        }
    }

    const Setup& m_setup;
    MonitorQueue& m_queue;
    SessionLog* m_log;
};

void printStart(const Setup& setup, const HostPty& host)
{
    const MonitorSetup& monitor = setup.monitor;
    const QString time = localTime(std::chrono::system_clock::now());
    const QString a = monitor.ports[int(MonitorSide::Host)];
    const QString b = monitor.ports[int(MonitorSide::Device)];
    if (setup.json) {
        QJsonObject start{{QStringLiteral("event"), QStringLiteral("start")},
                          {QStringLiteral("time"), time}};
        if (monitor.listen) {
            start.insert(QStringLiteral("listen_a"), a);
            start.insert(QStringLiteral("listen_b"), b);
            start.insert(QStringLiteral("settings"), monitor.settings);
        } else {
            start.insert(QStringLiteral("device"), b);
            start.insert(QStringLiteral("link"), setup.link);
            start.insert(QStringLiteral("pty"), host.path());
        }
        Output::json(start);
    } else if (monitor.listen) {
        Output::line(
            QStringLiteral("%1 start host> %2 <device %3 at %4").arg(time, a, b, monitor.settings));
    } else {
        Output::line(QStringLiteral("%1 start device %2 link %3 (%4)")
                         .arg(time, b, setup.link, host.path()));
    }
}

} // namespace

int monitorCommand(const QStringList& arguments)
{
    CommandParser parser(QStringLiteral("monitor"),
                         QStringLiteral("Watches a host and a device talk, in the middle of the "
                                        "line or beside it: each frame, its reply, its check and "
                                        "its latency."),
                         {}, QString::fromUtf8(kEpilogue));
    parser.addOptions(kOptions);
    if (const std::optional<int> status = parser.parse(arguments))
        return *status;
    Setup setup;
    if (const QString refusal = readSetup(parser, &setup); !refusal.isEmpty())
        return parser.refuse(refusal);

    std::unique_ptr<SessionLog> log;
    if (!setup.logPath.isEmpty()) {
        QString why;
        log = SessionLog::open(setup.logPath, &why);
        if (!log) {
            Output::error(QStringLiteral("the log cannot be opened: %1").arg(why));
            return ExitStatus::kCannotCreate;
        }
    }
    HostPty host;
    if (!setup.monitor.listen) {
        if (const QString why = host.open(); !why.isEmpty()) {
            Output::error(why);
            return ExitStatus::kCannotCreate;
        }
    }
    for (const MonitorSide side : {MonitorSide::Host, MonitorSide::Device}) {
        if (!setup.monitor.ports[int(side)].isEmpty())
            PortMap::setDevice(int(side) + 1, setup.monitor.ports[int(side)]);
    }

    const SignalWatcher watcher;
    SignalWatcher::setLastWords(DeviceLink::removeAtOnce);
    MonitorQueue queue(kQueuedLines);
    Printer printer(setup, queue, log.get());
    int status = 0;
    QObject* const app = QCoreApplication::instance();
    const auto drain = [&] {
        if (!printer.drain()) {
            status = ExitStatus::kIoError;
            QCoreApplication::quit();
        }
    };
    QThread thread;
    MonitorForwarder forwarder(
        setup.monitor, setup.monitor.listen ? nullptr : &host, queue,
        [app, &drain] { QMetaObject::invokeMethod(app, drain, Qt::QueuedConnection); });
    forwarder.moveToThread(&thread);
    thread.start();
    QString failure;
    QMetaObject::invokeMethod(
        &forwarder, [&] { failure = forwarder.start(); }, Qt::BlockingQueuedConnection);
    const auto stop = [&] {
        QMetaObject::invokeMethod(
            &forwarder, [&] { forwarder.stop(); }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    };
    if (!failure.isEmpty()) {
        stop();
        Output::error(failure);
        return ExitStatus::kPortFailure;
    }

    DeviceLink link;
    if (!setup.monitor.listen) {
        if (const QString why = link.make(setup.link, host.path()); !why.isEmpty()) {
            stop();
            Output::error(why);
            return ExitStatus::kCannotCreate;
        }
    }
    printStart(setup, host);
    QObject::connect(&watcher, &SignalWatcher::caught, app, &QCoreApplication::quit);
    QCoreApplication::exec();
    stop();
    QCoreApplication::sendPostedEvents();
    if (status == 0 && !printer.drain())
        status = ExitStatus::kIoError;
    QString summary = QStringLiteral("monitor: ") + forwarder.summary().text();
    if (const qint64 dropped = queue.droppedTotal(); dropped > 0)
        summary += QStringLiteral(", %1 display lines dropped").arg(dropped);
    Output::error(summary);
    return status;
}
