#include "EngineSoak.h"

#include "protocols/Consoles.h"
#include "protocols/ProgramState.h"
#include "serial/PortMap.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

struct Step {
    ConsoleKind console = ConsoleKind::Loader;
    ReplyClass replyClass = ReplyClass::Ack;
    bool withCheck = false;
    bool vanish = false;
};

// Exchange n of the run. The first hundred already hold every console, a reply of nothing and a
// vanishing device, so that the figures taken after them follow every path once.
Step stepFor(int n)
{
    constexpr ReplyClass kClasses[] = {ReplyClass::Ack, ReplyClass::Nak, ReplyClass::Other,
                                       ReplyClass::None};
    Step step;
    step.vanish = n % 2500 == 50;
    if (n % 250 == 7) {
        step.console = ConsoleKind::Dedicated;
        step.withCheck = n % 500 == 7;
        step.replyClass = kClasses[n / 250 % 4];
    } else if (n % 500 == 11) {
        step.console = ConsoleKind::UserDefine;
        step.replyClass = kClasses[n / 500 % 4];
    } else if (n % 333 == 20) {
        step.replyClass = ReplyClass::None;
    } else {
        step.replyClass = kClasses[n % 3];
    }
    return step;
}

} // namespace

EngineSoak::EngineSoak(int exchanges) : m_exchanges(exchanges)
{
    newDevice();
}

void EngineSoak::run()
{
    QElapsedTimer clock;
    clock.start();
    bool afterVanish = false;
    for (int n = 1; n <= m_exchanges; ++n) {
        const Step step = stepFor(n);
        if (step.vanish) {
            ++m_vanishCycles;
            afterVanish = vanishMidExchange(n);
        } else {
            const QByteArray reply = ReplyLedger::replyFor(step.replyClass, n);
            const int wrongBefore = m_ledger.wrong();
            const ConsoleRequest request{step.console, "SOAK" + QByteArray::number(n),
                                         step.withCheck};
            m_ledger.record(step.console, step.replyClass, n, exchange(request, reply));
            if (afterVanish && m_ledger.wrong() == wrongBefore)
                ++m_cleanVanishCycles;
            afterVanish = false;
        }
        if (n == kFirstFigures)
            m_first = ProcessFigures::now();
    }
    m_last = ProcessFigures::now();
    m_seconds = clock.nsecsElapsed() / 1e9;
}

// The reply read, or no value when the exchange failed or the device got other bytes than the
// frame.
std::optional<QByteArray> EngineSoak::exchange(const ConsoleRequest& request,
                                               const QByteArray& reply)
{
    if (reply.isEmpty())
        m_device->setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
    else
        m_device->setBehaviour({SimulatedDevice::Mode::Bytes, reply, 0});
    // The device's record then holds this frame alone, and does not grow with the run.
    m_device->clearReceived();
    const TransactionPlan plan = consolePlan(request, program());
    if (!m_transaction.begin(plan))
        return std::nullopt;
    m_transaction.run();
    waitForTheEnd();
    if (m_transaction.state() != Transaction::State::Finished || m_device->received() != plan.frame)
        return std::nullopt;
    return m_transaction.reply();
}

// The device sends the first bytes of its reply and goes away; the exchange must end with one
// Vanished failure and the port closed. A new device takes its place.
bool EngineSoak::vanishMidExchange(int serial)
{
    m_device->setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
    if (!m_transaction.begin(consolePlan({ConsoleKind::Loader, "VANISH"}, program())))
        return false;
    SimulatedDevice* device = m_device.get();
    const QByteArray part = ReplyLedger::replyFor(ReplyClass::Ack, serial).left(4);
    const QObject timers; // no timer outlives the device it points at
    QTimer::singleShot(20, &timers, [device, part] { device->send(part); });
    QTimer::singleShot(40, &timers, [device] { device->vanish(); });
    m_transaction.run();
    waitForTheEnd();
    const bool clean = m_transaction.state() == Transaction::State::Failed &&
                       m_transaction.error()->kind() == SerialError::Kind::Vanished &&
                       !m_port.portOpen();
    newDevice();
    return clean;
}

void EngineSoak::newDevice()
{
    m_device = std::make_unique<SimulatedDevice>();
    PortMap::setDevice(1, m_device->devicePath());
    PortMap::setDevice(2, m_device->devicePath());
    m_devicePaths << m_device->devicePath();
}

void EngineSoak::waitForTheEnd()
{
    if (!m_transaction.running())
        return;
    QEventLoop loop;
    QObject::connect(&m_transaction, &Transaction::finished, &loop, &QEventLoop::quit);
    loop.exec();
}
