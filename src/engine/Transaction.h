#pragma once
// The engine layer (src/engine): one exchange on a line (this transaction and its receive window),
// the clock it runs on, the session log and the files the programs write. It uses the codec and
// the serial layer and knows no particular console: a console hands it a plan.
//
// The transaction engine: one console Send, from the line's properties to the classified reply.
// The consoles supply only a plan (port, settings, frame, receive rule); the line (see SerialLine)
// and the clock come from outside, so the engine owns neither and a test may give it its own.
//
// begin() drives CommPort, Settings, InputLen, PortOpen and the one Output, in that order.
// Then each step() first pushes the frame out, until every byte of it has left the port, and
// then runs the polls of the receive loop that are due, then the extra reads. Poll k is due
// k x pollInterval after the frame has left the port and reads at most one byte; a byte that is
// waiting is read at once by the next poll, ahead of its time, and a poll whose time comes while
// nothing waits reads nothing. So the window lasts its polls' time whatever arrives: a burst
// cannot shorten it, and a byte that comes after it is not read.
// run() calls step() from the event loop, so the window stays responsive. While nothing waits
// it sleeps until a byte arrives or the window ends, and the polls whose time passed meanwhile
// count as the empty polls they were. Tests call step() directly, with no timer and no window,
// on a clock of their own.
// Every way out closes the port; a failure closes it before it is reported.

#include "engine/Clock.h"
#include "serial/SerialLine.h"

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

    // The line outlives the transaction.
    explicit Transaction(SerialLine& line, QObject* parent = nullptr);
    ~Transaction() override;

    // Runs between Settings and InputLen (the console's warning box for an odd rate).
    void setAfterSettings(std::function<void()> hook) { m_afterSettings = std::move(hook); }
    void setPollInterval(std::chrono::microseconds interval) { m_pollInterval = interval; }
    std::chrono::microseconds pollInterval() const { return m_pollInterval; }
    // The clock the schedule runs on (the steady clock unless set); it outlives the transaction.
    void setClock(const Clock& clock) { m_clock = &clock; }

    // The steps up to Output. Returns false on failure (state Failed, port closed, error()).
    bool begin(const TransactionPlan& plan);
    // Pushes the frame, or runs the polls that are due and the one a waiting byte allows;
    // returns true while the transaction goes on. On failure: state Failed, port closed.
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
    // How long run() sleeps before the next step: not at all while a byte waits, a millisecond
    // while the frame drains, else until the window's end (a byte that comes first wakes it).
    std::chrono::microseconds untilNextStep() const;
    // The failure, when state() is Failed.
    std::optional<SerialError> error() const { return m_error; }

signals:
    void finished();

private:
    void fail(const SerialError& error);
    void closeLine();
    // Adds read bytes to the reply; the first of them sets the latency.
    void collect(const QByteArray& bytes);
    std::chrono::microseconds sinceFrameLeft() const;
    // The polls whose time has come, at most the rule's count.
    int duePolls() const;
    void drain();
    bool receive();
    void scheduleNext();
    void onTimer();

    SerialLine& m_line;
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
