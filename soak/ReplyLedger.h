#pragma once
// Every reply of the soak carries its exchange's serial number. The ledger makes those replies,
// checks each reply read against the one its own exchange was sent, and counts the exchanges by
// console and reply class, the replies that differ and those holding another exchange's number
// (a byte carried over from an earlier exchange).

#include "engine/Transaction.h"
#include "protocols/Consoles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

class ReplyLedger {
public:
    // The reply of exchange serial in its class: its first byte (ACK, NAK or STX), '#', eight
    // digits and EOT; empty for no reply.
    static QByteArray replyFor(ReplyClass replyClass, int serial);

    // One exchange, its console, the class it was sent and the reply read (with no value when
    // the exchange failed).
    void record(ConsoleKind console, ReplyClass sent, int serial,
                const std::optional<QByteArray>& read);

    int exchanges() const { return m_exchanges; }
    int wrong() const { return m_wrong; }
    int foreign() const { return m_foreign; }
    // "Loader 9,930 (ACK 3,300, NAK 3,300, other 3,300, none 30); ..."
    QString mix() const;
    // The first few wrong replies, as hex digits.
    QStringList examples() const { return m_examples; }

private:
    std::array<std::array<int, 4>, 3> m_counts{};
    int m_exchanges = 0;
    int m_wrong = 0;
    int m_foreign = 0;
    QStringList m_examples;
};
