#pragma once
// The engine's soak: exchanges through the transaction engine, the way the commands drive it,
// against a simulated device whose reply carries each exchange's serial number. Mostly Loader
// exchanges, which end at the reply's EOT; the Dedicated and User Define exchanges last their
// whole window (0.5 s, 1 s) whatever the reply, so they are fewer, enough for every reply class
// on each, and so are replies of nothing, which cost the Loader its whole window. A few times
// the device goes away in the middle of an exchange, a new device comes, the port is mapped to
// it and the next exchange goes on there.

#include "ProcessFigures.h"
#include "ReplyLedger.h"

#include "device/SimulatedDevice.h"
#include "engine/Transaction.h"
#include "serial/SerialControl.h"

#include <QStringList>

#include <memory>

class EngineSoak {
public:
    static constexpr int kFirstFigures = 100;

    explicit EngineSoak(int exchanges);

    void run();

    int exchanges() const { return m_exchanges; }
    // Every exchange but the vanishing ones.
    const ReplyLedger& ledger() const { return m_ledger; }
    // Figures after exchange kFirstFigures and after the last one.
    ProcessFigures first() const { return m_first; }
    ProcessFigures last() const { return m_last; }
    int vanishCycles() const { return m_vanishCycles; }
    // Cycles that ended with one Vanished failure and whose next exchange read its own reply.
    int cleanVanishCycles() const { return m_cleanVanishCycles; }
    QStringList devicePaths() const { return m_devicePaths; }
    double seconds() const { return m_seconds; }

private:
    std::optional<QByteArray> exchange(const ConsoleRequest& request, const QByteArray& reply);
    bool vanishMidExchange(int serial);
    void newDevice();
    void waitForTheEnd();

    int m_exchanges;
    std::unique_ptr<SimulatedDevice> m_device;
    SerialControl m_port;
    Transaction m_transaction{m_port};
    ReplyLedger m_ledger;
    ProcessFigures m_first;
    ProcessFigures m_last;
    int m_vanishCycles = 0;
    int m_cleanVanishCycles = 0;
    QStringList m_devicePaths;
    double m_seconds = 0;
};
