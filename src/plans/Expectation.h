#pragma once
// What a plan's step expects of each of its exchanges: the reply's class, its exact bytes, its
// reply check, a limit on its latency; any of them, or none (then an exchange that ends by itself
// meets it).

#include "engine/Transaction.h"
#include "protocols/ExchangeRecord.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

struct Expectation {
    std::optional<ReplyClass> replyClass;
    std::optional<QByteArray> reply;
    std::optional<ReplyCheck> replyCheck;
    std::optional<std::chrono::microseconds> maxLatency;

    // Whether the exchange ended by itself with a reply as expected.
    bool isMetBy(const ExchangeRecord& record) const;
    // "class ack, reply 0604, latency <= 50.000 ms"; "any reply" when nothing is expected.
    QString describe() const;
    // The same facts of an exchange: "class nak, reply 1504, latency 0.312 ms", with "reply check
    // ok" (or bad) after the reply when the reply is a frame of the console's form.
    static QString describe(const ExchangeRecord& record);
};
