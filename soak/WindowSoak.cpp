#include "WindowSoak.h"

#include "serial/PortMap.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <algorithm>
#include <vector>

namespace {

// Samples of each cost; their median is the figure.
constexpr int kSamples = 9;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Exchange n's reply class: ACK, NAK and other in turn, and now and then nothing, which costs
// the Loader its whole window (0.5 s).
ReplyClass classFor(int n)
{
    if (n % 200 == 50)
        return ReplyClass::None;
    constexpr ReplyClass kClasses[] = {ReplyClass::Ack, ReplyClass::Nak, ReplyClass::Other};
    return kClasses[n % 3];
}

} // namespace

WindowSoak::WindowSoak(int exchanges) : m_exchanges(exchanges), m_window(program())
{
    PortMap::setDevice(1, m_device.devicePath());
    m_window.show();
    m_window.findChild<QPlainTextEdit*>(QStringLiteral("송신"))
        ->setPlainText(QStringLiteral("SOAK"));
    m_send = m_window.findChild<QAbstractButton*>(QStringLiteral("전송"));
    m_toHex = m_window.findChild<QAbstractButton*>(QStringLiteral("ASCii"));
    m_toCharacters = m_window.findChild<QAbstractButton*>(QStringLiteral("Hexa"));
    m_clear = m_window.findChild<QAbstractButton*>(QStringLiteral("클리어"));
    m_status = m_window.findChild<QLineEdit*>(QStringLiteral("응답"));
}

void WindowSoak::run()
{
    QElapsedTimer clock;
    clock.start();
    int serial = 0;
    while (serial < m_exchanges) {
        ++serial;
        exchange(serial, classFor(serial));
        if (serial == kEarlyCosts)
            m_early = costs(serial);
        if (serial == kFirstFigures) {
            m_first = ProcessFigures::now();
            m_firstCleared = cleared(serial);
        }
    }
    m_last = ProcessFigures::now();
    m_late = costs(serial);
    m_lastCleared = cleared(serial);
    m_seconds = clock.nsecsElapsed() / 1e9;
}

void WindowSoak::exchange(int serial, ReplyClass replyClass)
{
    const QByteArray reply = ReplyLedger::replyFor(replyClass, serial);
    if (reply.isEmpty())
        m_device.setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
    else
        m_device.setBehaviour({SimulatedDevice::Mode::Bytes, reply, 0});
    // The device's record then holds this frame alone, and does not grow with the run.
    m_device.clearReceived();
    m_send->click();
    if (m_window.transactionRunning()) {
        QEventLoop loop;
        QObject::connect(&m_window.transaction(), &Transaction::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // What the user sees drawn belongs to the exchange.
    QCoreApplication::processEvents();
    const bool shown = m_status->text() == replyWord(replyClass, ConsoleKind::Loader);
    const bool finished = m_window.transaction().state() == Transaction::State::Finished &&
                          m_device.received() == m_window.SendFrame();
    m_ledger.record(ConsoleKind::Loader, replyClass, serial,
                    finished && shown ? std::optional<QByteArray>(m_window.RecvData())
                                      : std::nullopt);
}

// Clear, then a page of exchanges: the history holds that page alone, at exchange 100 as at the
// end, so that memory beyond it is memory the window keeps for nothing.
ProcessFigures WindowSoak::cleared(int& serial)
{
    m_clear->click();
    for (int row = 0; row < 10; ++row)
        exchange(++serial, ReplyClass::Ack);
    return ProcessFigures::now();
}

// A switch to hex digits and back, and exchanges that each get a reply at once; the exchanges
// count as ones of the soak.
WindowSoak::Costs WindowSoak::costs(int& serial)
{
    std::vector<double> toHex;
    std::vector<double> back;
    std::vector<double> exchanges;
    QElapsedTimer clock;
    for (int sample = 0; sample < kSamples; ++sample) {
        clock.start();
        m_toHex->click();
        QCoreApplication::processEvents();
        toHex.push_back(clock.nsecsElapsed() / 1e6);
        clock.start();
        m_toCharacters->click();
        QCoreApplication::processEvents();
        back.push_back(clock.nsecsElapsed() / 1e6);
    }
    for (int sample = 0; sample < kSamples; ++sample) {
        ++serial;
        clock.start();
        exchange(serial, ReplyClass::Ack);
        exchanges.push_back(clock.nsecsElapsed() / 1e6);
    }
    return {median(toHex), median(back), median(exchanges)};
}
