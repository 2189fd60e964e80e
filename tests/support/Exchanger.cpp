#include "Exchanger.h"

#include "ConsoleHarness.h"
#include "protocols/ProgramState.h"
#include "windows/DedicatedWindow.h"
#include "windows/LoaderWindow.h"
#include "windows/UserDefWindow.h"

#include <QPlainTextEdit>

namespace {

std::unique_ptr<ConsoleWindow> shownWindow(ConsoleKind console)
{
    std::unique_ptr<ConsoleWindow> window;
    switch (console) {
    case ConsoleKind::Loader:
        window = std::make_unique<LoaderWindow>(program());
        break;
    case ConsoleKind::Dedicated:
        window = std::make_unique<DedicatedWindow>(program());
        break;
    case ConsoleKind::UserDefine:
        window = std::make_unique<UserDefWindow>(program());
        break;
    }
    window->show();
    window->activateWindow();
    return window;
}

} // namespace

Exchanger::Exchanger(ConsoleKind console, Through through)
{
    if (through == Through::Window) {
        m_services = std::make_unique<RecordingServices>();
        m_window = std::make_unique<ConsoleControls>(shownWindow(console));
        return;
    }
    m_port = std::make_unique<SerialControl>();
    m_transaction = std::make_unique<Transaction>(*m_port);
}

Exchanger::~Exchanger() = default;

void Exchanger::send(const ConsoleRequest& request)
{
    if (m_window) {
        m_window->send->setPlainText(QString::fromLatin1(request.message));
        m_window->clickSend();
    } else if (m_transaction->begin(consolePlan(request, program()))) {
        m_transaction->run();
    }
}

bool Exchanger::running() const
{
    return m_window ? m_window->busy() : m_transaction->running();
}

Transaction& Exchanger::transaction()
{
    return m_window ? m_window->window->transaction() : *m_transaction;
}

SerialControl& Exchanger::port()
{
    return m_window ? m_window->window->MSComm1() : *m_port;
}

QList<RecordingServices::Box> Exchanger::boxes() const
{
    return m_services ? m_services->boxes() : QList<RecordingServices::Box>();
}
