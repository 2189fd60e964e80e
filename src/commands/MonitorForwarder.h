#pragma once
// The monitor's forwarding side, on a thread of its own with its own event loop: it passes every
// byte on the moment it comes (in the middle), reads the conversation as it goes, and hands what
// it found to the printing side through a bounded queue, so that a slow terminal or log never
// holds up the line. When the queue is full, display lines are dropped and counted, never bytes
// on the line.

#include "commands/Conversation.h"
#include "serial/SerialControl.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class HostPty;
class QSocketNotifier;
class QTimer;

// What the forwarding thread found, waiting for the printing side.
class MonitorQueue {
public:
    explicit MonitorQueue(qsizetype capacity) : m_capacity(capacity) {}

    // Adds an event; a frame or pairing is dropped and counted when the queue is full, a notice
    // never. True when the queue was empty, so its reader must be woken.
    bool push(MonitorEvent event);

    struct Batch {
        std::deque<MonitorEvent> events;
        qint64 dropped = 0; // display lines dropped before these events
    };
    Batch take();
    // Every display line dropped so far.
    qint64 droppedTotal() const;

private:
    const qsizetype m_capacity;
    mutable std::mutex m_mutex;
    std::deque<MonitorEvent> m_events;
    qint64 m_dropped = 0;
    qint64 m_droppedTotal = 0;
};

struct MonitorSetup {
    // In the middle: ports[Device] is the device, the host is the pty. Beside the line:
    // ports[Host] hears what the host sends, ports[Device] what the device sends, and nothing is
    // written to either. Each port is opened as the port number's device (PortMap).
    bool listen = false;
    QString ports[2];
    // The line's settings; in the middle, the device follows what the host sets on the pty.
    QString settings = QStringLiteral("38400,n,8,1");
    MonitorForms forms;
    // A fixed gap; none: two character times at the line's speed, at least 1 ms.
    std::optional<std::chrono::microseconds> gap;
};

class MonitorForwarder : public QObject {
    Q_OBJECT

public:
    // host: the pty in the middle, nullptr beside the line. wake is called on this thread when
    // the queue gets its first event.
    MonitorForwarder(const MonitorSetup& setup, HostPty* host, MonitorQueue& queue,
                     std::function<void()> wake);
    ~MonitorForwarder() override;

    // On the forwarding thread: opens the ports and starts passing on; empty when done, else why
    // not.
    QString start();
    // On the forwarding thread: ends the open frames, hands them on and closes the ports.
    void stop();
    // After stop().
    MonitorSummary summary() const { return m_reader.summary(); }

    // The gap of a line at these settings: two character times, at least 1 ms.
    static std::chrono::microseconds gapOf(const QString& settings);

private:
    void openPort(int side);
    void fromPort(int side);
    void portGone(int side, const QString& reason);
    void retryPorts();
    void fromHost();
    void toHost(const QByteArray& bytes);
    void flushHost();
    void watchHost();
    void followHostSettings();
    void useSettings(const QString& settings);
    void read(MonitorSide side, const QByteArray& bytes);
    void publish();
    void notice(const QString& text);

    MonitorSetup m_setup;
    HostPty* m_host;
    MonitorQueue& m_queue;
    std::function<void()> m_wake;
    ConversationReader m_reader;
    std::unique_ptr<SerialControl> m_ports[2];
    bool m_portGone[2] = {false, false};
    QTimer* m_retry = nullptr;
    QTimer* m_quiet = nullptr;
    QTimer* m_hostWatch = nullptr;
    QSocketNotifier* m_hostRead = nullptr;
    QSocketNotifier* m_hostWrite = nullptr;
    QByteArray m_toHost;      // bytes for the host that the pty did not take yet
    qint64 m_hostDropped = 0; // device bytes dropped since the backlog filled
    bool m_hostOpen = false;  // false from the host closing the pty until one opens it again
    QString m_hostSettings;   // what the host's end was at when last looked at
};
