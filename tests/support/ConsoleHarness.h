#pragma once
// What the console window tests share: the common controls of any console found by their
// names, a console shown as the user sees it, and the fixture of a console test over ptys.
//
//     m_fixture = std::make_unique<ConsoleFixture>(); // init(); reset in cleanup()
//     ShownConsole<LoaderWindow> c;
//     c.type(QStringLiteral("AB"));
//     c.clickSend();
//     QTRY_VERIFY(!c.busy());
//     QCOMPARE(m_fixture->port1.received(), hex("024142383303"));

#include "HexBytes.h"
#include "PortMapOverride.h"
#include "RecordingServices.h"
#include "device/SimulatedDevice.h"
#include "windows/ConsoleWindow.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <array>
#include <chrono>
#include <memory>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// A poll with nothing waiting waits this long for the next byte instead of about 1 ms, so a long
// reply that is certain to come fills every poll of the window, however busy the machine is.
inline constexpr std::chrono::seconds kPatientPoll{2};

template <typename T> T* child(QWidget* window, const QString& name)
{
    return window->findChild<T*>(name);
}

// A console window of the form named (Form2, Form3 or Form4) on program(), not shown, logging
// to log when one is given.
std::unique_ptr<ConsoleWindow> makeConsole(const QString& form, SessionLog* log = nullptr);

// The 40 boxes of 송수신이력 by their index property.
std::array<QLineEdit*, 40> historyBoxes(QWidget* window);

QColor textColour(QWidget* widget);

// The controls every console has, found by their names. Neither shows nor activates the window.
class ConsoleControls {
public:
    // A window someone else owns (the window services, say).
    explicit ConsoleControls(ConsoleWindow* window);
    // A window of its own, deleted with it.
    explicit ConsoleControls(std::unique_ptr<ConsoleWindow> owned);

    QPushButton* button(const char* name) const;
    // Keys typed into 송신, as the user types them.
    void type(const QString& text) const;
    void clickSend() const;
    bool busy() const { return window->transactionRunning(); }

    ConsoleWindow* window;
    QPlainTextEdit* send;
    QPlainTextEdit* recv;
    QLineEdit* status;
    QRadioButton* hexa;
    QRadioButton* ascii;
    QPushButton* sendButton;
    QPushButton* clear;
    std::array<QLineEdit*, 40> history;

protected:
    void showActive() const;

private:
    std::unique_ptr<ConsoleWindow> m_owned;
};

// A console as the user sees it, shown and active: a window of type W of its own, or one made
// elsewhere.
template <typename W> class ShownConsole : public ConsoleControls {
public:
    ShownConsole() : ConsoleControls(std::make_unique<W>(program())) { showActive(); }
    explicit ShownConsole(ConsoleWindow* made) : ConsoleControls(made) { showActive(); }
};

// One console test's surroundings: a fresh ProgramState, simulated devices as ports 1 and 2, and
// recorded window services. Going, it puts the port map and the services back.
struct ConsoleFixture {
    ConsoleFixture();

    SimulatedDevice port1;
    SimulatedDevice port2;
    PortMapOverride map;
    RecordingServices services;
};
