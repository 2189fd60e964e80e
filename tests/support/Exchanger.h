#pragma once
// Runs console exchanges one of two ways: the engine on a serial control of its own, as the
// commands run it, or a console window's Send (the window shown, its message boxes recorded).
// Either way the console's plan comes from consolePlan, so both send the same frame.
//
//     Exchanger exchanger(ConsoleKind::Loader, Exchanger::Through::Window);
//     exchanger.send({ConsoleKind::Loader, "AB"});
//     QTRY_VERIFY(!exchanger.running());
//     QCOMPARE(exchanger.transaction().reply(), hex("0604"));

#include "RecordingServices.h"
#include "engine/Transaction.h"
#include "protocols/Consoles.h"
#include "serial/SerialControl.h"

#include <QList>

#include <memory>

class ConsoleControls;

class Exchanger {
public:
    enum class Through { Engine, Window };

    Exchanger(ConsoleKind console, Through through);
    ~Exchanger();
    Exchanger(const Exchanger&) = delete;
    Exchanger& operator=(const Exchanger&) = delete;

    // Starts an exchange; a failure at the start ends it at once. The window gets the message in
    // its send box and a click on Send; its other controls stay as they open, which is what the
    // request's defaults say (no check on the Dedicated console, the User Define lists' first
    // texts).
    void send(const ConsoleRequest& request);
    bool running() const;
    Transaction& transaction();
    SerialControl& port();
    // The message boxes the window showed; the engine shows none.
    QList<RecordingServices::Box> boxes() const;

private:
    std::unique_ptr<SerialControl> m_port;
    std::unique_ptr<Transaction> m_transaction;
    std::unique_ptr<RecordingServices> m_services;
    std::unique_ptr<ConsoleControls> m_window; // goes before the services that answer it
};
