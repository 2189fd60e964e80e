#pragma once
// The transaction engine: one console Send, from the serial control's properties to the
// classified reply. The consoles supply only a plan (port, settings, frame, receive rule).
//
// begin() drives CommPort, Settings, InputLen, PortOpen and the one Output, in that order.
// Then step() is called once per poll: first until every byte of the frame has left the port,
// then once per read of the receive loop (at most one byte each), then the extra reads.
// run() calls step() from the event loop, so the window stays responsive between polls. Poll k
// is due k x pollInterval after the frame has left the port: a poll that finds a byte waiting
// reads it at once, one that finds nothing waits for input until its due time and wakes as soon
// as a byte arrives. Tests call step() directly, with no timer and no window, on a clock of
// their own.
// Every way out closes the port; a failure closes it before it is reported.

#include "console/Clock.h"
#include "platform/SerialControl.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

// The reply's class, by its first byte only: ACK (6), NAK (21), nothing, anything else.
enum class ReplyClass { Ack, Nak, None, Other };
ReplyClass classify(const QByteArray& reply);

struct ReceiveRule {
    int polls = 500;        // reads of the loop; it leaves when the count reaches this
    bool stopAtEot = false; // leave at once after reading EOT
    int extraReads = 0;     // reads after the loop, with no return to the event loop between
};

struct TransactionPlan {
    std::optional<int> commPort;     // no value: the port number was not a number (a failure)
    QString portText;                // what the port number was made from, for the failure's reason
    std::optional<QString> settings; // no value: Settings is not assigned
    QByteArray frame;
    ReceiveRule rule;
};

class Transaction : public QObject {
    Q_OBJECT

public:
    enum class State { Idle, Draining, Receiving, Finished, Failed };

    explicit Transaction(SerialControl& port, QObject* parent = nullptr);
    ~Transaction() override;

    // Runs between Settings and InputLen (the console's warning box for an odd rate).
    void setAfterSettings(std::function<void()> hook) { m_afterSettings = std::move(hook); }
    void setPollInterval(std::chrono::microseconds interval) { m_pollInterval = interval; }
    std::chrono::microseconds pollInterval() const { return m_pollInterval; }
    // The clock the schedule runs on (the steady clock unless set); it outlives the transaction.
    void setClock(const Clock& clock) { m_clock = &clock; }

    // The steps up to Output. Returns false on failure (state Failed, port closed, error()).
    bool begin(const TransactionPlan& plan);
    // One step; returns true while more steps are due. On failure: state Failed, port closed.
    bool step();
    // Calls step() from the event loop until done; emits finished() at the end (also on failure).
    void run();
    // Ends a running transaction now and closes the port; finished() is not emitted.
    void abort();

    State state() const { return m_state; }
    bool running() const { return m_state == State::Draining || m_state == State::Receiving; }
    QByteArray reply() const { return m_reply; }
    int polls() const { return m_polls; }
    // The plan of the latest begin(): its frame and port go on the exchange's record.
    const TransactionPlan& plan() const { return m_plan; }
    // When begin() was called, on the system clock: the time of the exchange for its record.
    std::chrono::system_clock::time_point startedAt() const { return m_startedAt; }
    // From the frame's last byte leaving the port to the read of the reply's first byte; no
    // value while nothing has been read.
    std::optional<std::chrono::microseconds> latency() const { return m_latency; }
    // From the frame's last byte leaving the port to the end of the receive loop (the reply
    // window as it really lasted, up to abort() for an ended one); zero when the frame never
    // left.
    std::chrono::microseconds windowLength() const { return m_windowLength; }
    // The failure, when state() is Failed.
    std::optional<SerialError> error() const { return m_error; }

signals:
    void finished();

private:
    void fail(const SerialError& error);
    void closePort();
    // Adds read bytes to the reply; the first of them sets the latency.
    void collect(const QByteArray& bytes);
    std::chrono::microseconds sinceFrameLeft() const;
    void drain();
    void scheduleNext();
    void onTimer();

    SerialControl& m_port;
    std::function<void()> m_afterSettings;
    std::chrono::microseconds m_pollInterval{1000};
    const Clock* m_clock = &Clock::steady();
    TransactionPlan m_plan;
    State m_state = State::Idle;
    QByteArray m_reply;
    int m_polls = 0;
    std::optional<SerialError> m_error;
    std::chrono::system_clock::time_point m_startedAt;
    std::optional<std::chrono::microseconds> m_latency;
    std::chrono::microseconds m_windowLength{0};
    QTimer m_timer;
    qint64 m_outputLeft = 0;                    // bytes of the frame not yet on the line
    std::chrono::nanoseconds m_outputMovedAt{}; // when the latest of them left the port
    std::chrono::nanoseconds m_frameLeftAt{};
    bool m_driven = false;
};
