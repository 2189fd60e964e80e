#include "commands/MonitorForwarder.h"

#include "commands/HostPty.h"
#include "serial/SerialError.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

using std::chrono::microseconds;
using SystemClock = std::chrono::system_clock;

constexpr int kHost = int(MonitorSide::Host);
constexpr int kDevice = int(MonitorSide::Device);

// How often a port that went away is tried again, a pty the host closed is looked at, and the
// host's settings are read back while it sends nothing.
constexpr int kRetryMs = 1000;
constexpr int kHostWatchMs = 100;
constexpr int kSettingsWatchMs = 250;
// The most the device's bytes may wait for a host that holds the pty but does not read it.
constexpr qsizetype kHostBacklog = 1 << 20;

constexpr microseconds kShortestGap{1000};

} // namespace

bool MonitorQueue::push(MonitorEvent event)
{
    const std::lock_guard lock(m_mutex);
    const bool wasEmpty = m_events.empty();
    if (qsizetype(m_events.size()) >= m_capacity && event.notice.isEmpty()) {
        ++m_dropped;
        ++m_droppedTotal;
        return false;
    }
    m_events.push_back(std::move(event));
    return wasEmpty;
}

MonitorQueue::Batch MonitorQueue::take()
{
    const std::lock_guard lock(m_mutex);
    Batch batch;
    batch.events.swap(m_events);
    batch.dropped = std::exchange(m_dropped, 0);
    return batch;
}

qint64 MonitorQueue::droppedTotal() const
{
    const std::lock_guard lock(m_mutex);
    return m_droppedTotal;
}

MonitorForwarder::MonitorForwarder(const MonitorSetup& setup, HostPty* host, MonitorQueue& queue,
                                   std::function<void()> wake)
    : m_setup(setup), m_host(host), m_queue(queue), m_wake(std::move(wake)),
      m_reader(setup.forms, setup.gap.value_or(gapOf(setup.settings)), setup.ports[kDevice])
{
    m_reader.setSettings(setup.settings);
}

MonitorForwarder::~MonitorForwarder() = default;

microseconds MonitorForwarder::gapOf(const QString& settings)
{
    const QStringList fields = settings.split(QLatin1Char(','));
    const double baud = fields.value(0).trimmed().toDouble();
    if (baud <= 0)
        return kShortestGap;
    // Start bit, data bits, parity bit, stop bits.
    const double bits = 1 + fields.value(2).trimmed().toDouble() +
                        (fields.value(1).trimmed().toLower() == QLatin1String("n") ? 0 : 1) +
                        fields.value(3).trimmed().toDouble();
    return std::max(kShortestGap, microseconds(qint64(2 * bits * 1e6 / baud + 0.5)));
}

QString MonitorForwarder::start()
{
    m_quiet = new QTimer(this);
    m_quiet->setSingleShot(true);
    m_quiet->setTimerType(Qt::PreciseTimer);
    connect(m_quiet, &QTimer::timeout, this, [this] {
        m_reader.closeQuiet(SystemClock::now());
        publish();
    });
    m_retry = new QTimer(this);
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, &MonitorForwarder::retryPorts);

    for (const int side : {kHost, kDevice}) {
        if (m_setup.ports[side].isEmpty())
            continue;
        m_ports[side] = std::make_unique<SerialControl>(m_setup.settings);
        m_ports[side]->setCommPort(side + 1);
        connect(m_ports[side].get(), &SerialLine::inputArrived, this,
                [this, side] { fromPort(side); });
        connect(m_ports[side].get(), &SerialLine::vanished, this, [this, side] { fromPort(side); });
        try {
            m_ports[side]->setPortOpen(true);
        } catch (const SerialError& error) {
            return error.reason();
        }
    }
    if (!m_host)
        return {};

    m_hostSettings = m_host->settings().value_or(QString());
    m_hostOpen = true;
    m_hostRead = new QSocketNotifier(m_host->handle(), QSocketNotifier::Read, this);
    connect(m_hostRead, &QSocketNotifier::activated, this, &MonitorForwarder::fromHost);
    m_hostWrite = new QSocketNotifier(m_host->handle(), QSocketNotifier::Write, this);
    m_hostWrite->setEnabled(false);
    connect(m_hostWrite, &QSocketNotifier::activated, this, &MonitorForwarder::flushHost);
    m_hostWatch = new QTimer(this);
    connect(m_hostWatch, &QTimer::timeout, this, &MonitorForwarder::watchHost);
    m_hostWatch->start(kSettingsWatchMs);
    return {};
}

void MonitorForwarder::stop()
{
    m_reader.finish();
    publish();
    // Timers and notifiers go on the thread they belong to.
    for (QObject* child : children())
        delete child;
    m_hostRead = m_hostWrite = nullptr;
    m_quiet = m_retry = m_hostWatch = nullptr;
    for (std::unique_ptr<SerialControl>& port : m_ports)
        port.reset();
}

void MonitorForwarder::fromPort(int side)
{
    SerialControl* port = m_ports[side].get();
    if (!port || m_portGone[side])
        return;
    QByteArray bytes;
    QString gone;
    try {
        // A port that went away hands out what it had received first.
        for (QByteArray chunk = port->input(); !chunk.isEmpty(); chunk = port->input())
            bytes += chunk;
    } catch (const SerialError& error) {
        gone = error.reason();
    }
    if (!bytes.isEmpty()) {
        if (m_host)
            toHost(bytes);
        read(MonitorSide(side), bytes);
    }
    if (!gone.isEmpty())
        portGone(side, gone);
}

void MonitorForwarder::portGone(int side, const QString& reason)
{
    m_portGone[side] = true;
    try {
        m_ports[side]->setPortOpen(false);
    } catch (const SerialError&) {
        // Closing a line that is gone can fail too; it is closed all the same.
    }
    notice(QStringLiteral("%1; tried again every %2 s").arg(reason).arg(kRetryMs / 1000));
    m_retry->start();
}

void MonitorForwarder::retryPorts()
{
    bool waiting = false;
    for (const int side : {kHost, kDevice}) {
        if (!m_portGone[side])
            continue;
        try {
            m_ports[side]->setPortOpen(true);
            m_portGone[side] = false;
            notice(QStringLiteral("%1 is back").arg(m_setup.ports[side]));
        } catch (const SerialError&) {
            waiting = true;
        }
    }
    if (!waiting)
        m_retry->stop();
}

void MonitorForwarder::fromHost()
{
    // Settings the host set before it sent these bytes apply to them.
    followHostSettings();
    QByteArray bytes;
    bool hungUp = false;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(m_host->handle(), buffer, sizeof buffer);
        if (got > 0) {
            bytes.append(buffer, got);
            continue;
        }
        hungUp = got == 0 || (errno != EAGAIN && errno != EINTR);
        if (got == -1 && errno == EINTR)
            continue;
        break;
    }
    if (!bytes.isEmpty()) {
        SerialControl* device = m_ports[kDevice].get();
        if (device && !m_portGone[kDevice]) {
            try {
                device->setOutput(bytes);
                device->outputLeft();
            } catch (const SerialError& error) {
                portGone(kDevice, error.reason());
            }
        }
        read(MonitorSide::Host, bytes);
    }
    if (hungUp) {
        m_hostOpen = false;
        m_hostRead->setEnabled(false);
        m_hostWrite->setEnabled(false);
        m_toHost.clear();
        m_hostDropped = 0;
        notice(QStringLiteral("the host closed %1; it stays there to be opened again")
                   .arg(m_host->path()));
        m_hostWatch->start(kHostWatchMs);
    }
}

void MonitorForwarder::toHost(const QByteArray& bytes)
{
    // Nobody holds the pty: the bytes would wait there for the next program to open it.
    if (!m_hostOpen)
        return;
    const qsizetype room = kHostBacklog - m_toHost.size();
    if (bytes.size() > room) {
        if (m_hostDropped == 0)
            notice(QStringLiteral("the host has not read the last %1 bytes from the device; "
                                  "the device's bytes are dropped until it reads")
                       .arg(m_toHost.size()));
        m_hostDropped += bytes.size() - room;
    }
    m_toHost.append(bytes.first(std::min(room, bytes.size())));
    flushHost();
}

void MonitorForwarder::flushHost()
{
    while (!m_toHost.isEmpty()) {
        const ssize_t written = ::write(m_host->handle(), m_toHost.constData(), m_toHost.size());
        if (written > 0) {
            m_toHost.remove(0, written);
            if (m_hostDropped > 0) {
                notice(QStringLiteral("the host reads again; %1 bytes from the device were dropped")
                           .arg(m_hostDropped));
                m_hostDropped = 0;
            }
            continue;
        }
        if (written == -1 && errno == EINTR)
            continue;
        break;
    }
    m_hostWrite->setEnabled(!m_toHost.isEmpty());
}

void MonitorForwarder::watchHost()
{
    if (!m_hostOpen) {
        if (m_host->hungUp())
            return;
        m_hostOpen = true;
        m_hostRead->setEnabled(true);
        m_hostWatch->start(kSettingsWatchMs);
    }
    followHostSettings();
}

void MonitorForwarder::followHostSettings()
{
    const std::optional<QString> settings = m_host->settings();
    if (!settings || *settings == m_hostSettings)
        return;
    m_hostSettings = *settings;
    SerialControl* device = m_ports[kDevice].get();
    try {
        device->setSettings(*settings);
    } catch (const SerialError& error) {
        notice(QStringLiteral("the host set %1, which the device does not take: %2")
                   .arg(*settings, error.reason()));
        return;
    }
    useSettings(device->settings());
}

void MonitorForwarder::useSettings(const QString& settings)
{
    m_reader.setSettings(QString(settings).remove(QLatin1Char(' ')));
    if (!m_setup.gap)
        m_reader.setGap(gapOf(settings));
}

void MonitorForwarder::read(MonitorSide side, const QByteArray& bytes)
{
    m_reader.take(side, SystemClock::now(), bytes);
    publish();
}

void MonitorForwarder::publish()
{
    bool wake = false;
    for (MonitorEvent& event : m_reader.takeEvents())
        wake = m_queue.push(std::move(event)) || wake;
    if (wake)
        m_wake();
    if (const std::optional<SystemClock::time_point> quiet = m_reader.quietAt()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*quiet - SystemClock::now());
        m_quiet->start(int(std::max<qint64>(0, left.count())));
    } else {
        m_quiet->stop();
    }
}

void MonitorForwarder::notice(const QString& text)
{
    if (m_queue.push(MonitorEvent{std::nullopt, std::nullopt, text}))
        m_wake();
}
