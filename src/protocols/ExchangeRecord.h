#pragma once
// What one console exchange leaves on record: when it began, which console on which device and
// line, the frame and the reply as bytes, the reply's class and word, and its timing. The session
// log, send --json and run --json all write toJson(), so a log line and an output line of the
// same exchange read alike, whether a window or a command ran it.

#include "engine/Transaction.h"
#include "protocols/Consoles.h"
#include "serial/SerialControl.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// Whether the reply is itself a frame of the console's own form, with check digits, and whether
// they are the sum of its text: a Loader reply of STX, text, two digits and ETX (an EOT after it
// or not), a Dedicated reply of ENQ, text, EOT and its digits. None for any other reply and for
// every User Define reply.
enum class ReplyCheck { None, Ok, Bad };

// "none", "ok" or "bad".
QString replyCheckName(ReplyCheck check);
// As JSON writes it (a record's reply_check, a plan's expectation): "ok", "bad", or null for none.
QJsonValue replyCheckJson(ReplyCheck check);

struct ExchangeRecord {
    // How the exchange ended: its receive window ran out (or the Loader's EOT came), the port
    // failed, or a signal ended it.
    enum class Outcome { Replied, PortFailure, Interrupted };

    std::chrono::system_clock::time_point time;
    ConsoleKind console = ConsoleKind::Loader;
    QString device;   // empty when the port number named none
    QString settings; // "38400,n,8,1"
    QByteArray frame;
    QByteArray reply; // what was collected, also when the exchange did not end normally
    Outcome outcome = Outcome::Replied;
    std::optional<std::chrono::microseconds> latency;
    std::chrono::microseconds window{0};
    int polls = 0;
    QString error; // why the port failed or what ended the exchange
    // The line's error notices during the exchange, as a network server reports them:
    // "framing", "parity", "overrun", "break"; empty when none (always on a local line).
    QStringList lineState;

    // The record of the transaction's latest exchange, finished or failed, on the control it ran.
    static ExchangeRecord of(ConsoleKind console, const Transaction& transaction,
                             const SerialControl& port);
    // Marks the exchange as ended before its end for the reason given ("ended by END", or
    // endedBySignal() for SIGHUP, SIGINT, SIGTERM).
    void interrupt(const QString& reason);

    ReplyClass replyClass() const { return classify(reply); }
    ReplyCheck replyCheck() const;
    // The console's reply word; "Port Disorder" as the windows' box says it, or "Interrupted".
    QString word() const;
    // "ack", "nak", "none", "other", "port_failure" or "interrupted".
    QString className() const;
    // The UTC time with microseconds: 2026-12-08T11:23:41.123456Z.
    QString timeText() const;
    // The local time of the exchange, its latency and the line-state notices, as the history's
    // label boxes show them.
    QString timingNote() const;

    QJsonObject toJson() const;
    // toJson() on one line, as the session log holds it.
    QByteArray jsonLine() const;
};

// "ended by SIGINT": what a signal that ends an exchange or a run leaves on record.
QString endedBySignal(int signal);

// Microseconds as milliseconds with three decimals: "0.312 ms".
QString millisecondsText(std::chrono::microseconds duration);
