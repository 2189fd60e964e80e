#pragma once
// One exchange as send's options and a plan's steps describe it: the console's request and the
// line it goes out on. Both read their values through the checks here, so send and run take and
// refuse the same values with the same words.

#include "protocols/Consoles.h"
#include "protocols/ProgramState.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

struct ExchangeSetup {
    ConsoleRequest request;
    int port = 1;        // the Dedicated and User Define consoles'; the Loader always uses port 1
    qint32 baud = 38400; // as the settings window starts
    QString device;      // the port's device for this exchange; empty: the port map's

    // The port the console sends on.
    int usedPort() const;
    // PortNo and BaudRate as the settings window publishes them, and the port's device when one
    // is given.
    void apply(ProgramState& state) const;
};

namespace ExchangeChecks {

// The most exchanges one send or one step runs, and the longest pause between two of them.
inline constexpr int kMaxRepeat = 1'000'000;
inline constexpr int kMaxIntervalMs = 3'600'000;

// Each check gives the refusal's text, empty when the value is fine.
QString baud(qint64 rate);
// A User Define selection text the lists would not accept; option is set to the one at fault
// (header, bcc1, tail or bcc2).
QString selections(const UserDefSelections& selections, QString* option);
// An option only some consoles take (port, baud, bcc, header, bcc1, tail, bcc2) given to another.
QString optionOnConsole(ConsoleKind kind, QStringView option);

// The message's bytes: hex digits as the hex view reads them, or text as the character view
// reads it (control pictures stand for their bytes). Throws codec::CodecError.
QByteArray message(const QString& text, bool hex);

} // namespace ExchangeChecks
