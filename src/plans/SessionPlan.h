#pragma once
// A console's session turned into a plan: each exchange that ended by itself becomes a step with
// what was seen of it as its expectation (the reply's class always; the reply's bytes and a
// latency limit when asked), so that the plan passes against the same device and fails on the
// step where another device answers otherwise. Exchanges whose port failed or that were cut short
// are left out: nothing was seen of their device to expect.

#include "plans/PlanReader.h"
#include "protocols/Consoles.h"
#include "protocols/ExchangeRecord.h"

#include <QList>

#include <chrono>
#include <optional>

struct SessionExchange {
    ConsoleRequest request;
    int port = 1;          // the port the Dedicated and User Define consoles sent on
    ExchangeRecord record; // the device and the line are the record's
};

struct SessionExpectations {
    bool replyBytes = false;
    // The latency limit is the latency seen plus this margin; none: no limit.
    std::optional<std::chrono::microseconds> latencyMargin;
};

// The steps in the order of the exchanges, the ports the devices the exchanges used; no steps
// when no exchange ended by itself.
Plan planOfSession(const QList<SessionExchange>& session, const SessionExpectations& expectations);
