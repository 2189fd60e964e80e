#include "ReplyLedger.h"

#include <QLocale>

namespace {

constexpr int kExamples = 5;

QString number(int value)
{
    return QLocale(QLocale::English).toString(value);
}

} // namespace

QByteArray ReplyLedger::replyFor(ReplyClass replyClass, int serial)
{
    char first = 0;
    switch (replyClass) {
    case ReplyClass::None:
        return {};
    case ReplyClass::Ack:
        first = 0x06;
        break;
    case ReplyClass::Nak:
        first = 0x15;
        break;
    case ReplyClass::Other:
        first = 0x02;
        break;
    }
    return QByteArray(1, first) + '#' + QByteArray::number(serial).rightJustified(8, '0') + '\x04';
}

void ReplyLedger::record(ConsoleKind console, ReplyClass sent, int serial,
                         const std::optional<QByteArray>& read)
{
    ++m_exchanges;
    ++m_counts[int(console)][int(sent)];
    const QByteArray expected = replyFor(sent, serial);
    if (read == expected && classify(*read) == sent)
        return;
    ++m_wrong;
    if (read) {
        const QByteArray own = '#' + expected.mid(2, 8);
        for (qsizetype at = read->indexOf('#'); at >= 0; at = read->indexOf('#', at + 1)) {
            if (read->mid(at, 9) != own) {
                ++m_foreign;
                break;
            }
        }
    }
    if (m_examples.size() < kExamples)
        m_examples << QStringLiteral("exchange %1: expected %2, read %3")
                          .arg(serial)
                          .arg(QString::fromLatin1(expected.toHex(' ')),
                               read ? QString::fromLatin1(read->toHex(' '))
                                    : QStringLiteral("a failure"));
}

QString ReplyLedger::mix() const
{
    QStringList consoles;
    for (const ConsoleKind console :
         {ConsoleKind::Loader, ConsoleKind::Dedicated, ConsoleKind::UserDefine}) {
        const std::array<int, 4>& counts = m_counts[int(console)];
        const int total = counts[0] + counts[1] + counts[2] + counts[3];
        consoles << QStringLiteral("%1 %2 (ACK %3, NAK %4, other %5, none %6)")
                        .arg(consoleName(console), number(total),
                             number(counts[int(ReplyClass::Ack)]),
                             number(counts[int(ReplyClass::Nak)]),
                             number(counts[int(ReplyClass::Other)]),
                             number(counts[int(ReplyClass::None)]));
    }
    return consoles.join(QStringLiteral("; "));
}
