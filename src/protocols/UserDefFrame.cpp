#include "protocols/UserDefFrame.h"

#include "protocols/LineSettings.h"

#include <QList>

#include <algorithm>
#include <optional>

namespace {

// The lists' "NONE", and any other text of four characters, leaves its field out.
constexpr qsizetype kAbsentLength = 4;

bool isAbsent(const QList<uint>& characters)
{
    return characters.size() == kAbsentLength;
}

bool isDigit(uint c)
{
    return c >= '0' && c <= '9';
}

// The control character of a header or tail text: the decimal code in characters 5 and 6, as
// in "NAK(21)"; no value for an absent field.
std::optional<quint8> controlCode(const QString& field, const QString& text)
{
    const QList<uint> characters = text.toUcs4();
    if (isAbsent(characters))
        return std::nullopt;
    const QList<uint> digits = characters.mid(kAbsentLength, 2);
    if (digits.isEmpty() || !std::all_of(digits.cbegin(), digits.cend(), isDigit))
        throw SelectionError(
            field, text,
            QStringLiteral("%1 \"%2\" names no control character: characters 5 and 6 must be its "
                           "decimal code, as in \"NAK(21)\", or the text must have four "
                           "characters, as \"NONE\".")
                .arg(field, text));
    quint8 code = 0;
    for (const uint digit : digits)
        code = static_cast<quint8>(code * 10 + (digit - '0'));
    return code;
}

enum class Sum { Sum1, Sum2 };

// "SUM_1" (last character 1) checks the sum alone, any other last digit adds the addend.
std::optional<Sum> checkChoice(const QString& field, const QString& text)
{
    const QList<uint> characters = text.toUcs4();
    if (isAbsent(characters))
        return std::nullopt;
    if (characters.isEmpty() || !isDigit(characters.last()))
        throw SelectionError(field, text,
                             QStringLiteral("%1 \"%2\" names no check: the text must end in a "
                                            "digit, as in \"SUM_1\", or have four characters, "
                                            "as \"NONE\".")
                                 .arg(field, text));
    return characters.last() == '1' ? Sum::Sum1 : Sum::Sum2;
}

} // namespace

SelectionError::SelectionError(const QString& field, const QString& text, const QString& message)
    : std::runtime_error(message.toStdString()), m_field(field), m_text(text), m_message(message)
{
}

QByteArray buildUserDefFrame(const UserDefSelections& selections, const QByteArray& message,
                             ProgramState& state)
{
    const std::optional<quint8> header = controlCode(QStringLiteral("Header"), selections.header);
    const std::optional<Sum> bcc1 = checkChoice(QStringLiteral("BCC1"), selections.bcc1);
    const std::optional<quint8> tail = controlCode(QStringLiteral("Tail"), selections.tail);
    const std::optional<Sum> bcc2 = checkChoice(QStringLiteral("BCC2"), selections.bcc2);

    // An absent header or tail and NUL both count 0; only the frame tells them apart.
    const auto controlSum = static_cast<qint16>(header.value_or(0) + tail.value_or(0));

    QByteArray bcc1Text;
    if (bcc1) {
        state.BccAdd1 = controlSum;
        state.BccSource = message;
        state.runBccMake();
        bcc1Text = *bcc1 == Sum::Sum1 ? state.BccCode[0] : state.BccCode[2];
    }

    QByteArray bcc2Text;
    if (bcc2) {
        if (bcc1Text.isEmpty()) {
            state.BccAdd2 = 0;
            state.BccAdd1 = controlSum;
        } else {
            // The second field also covers the first field's first and last characters.
            const auto first = static_cast<quint8>(bcc1Text.front());
            const auto last = static_cast<quint8>(bcc1Text.back());
            state.BccAdd2 = static_cast<qint16>(last + first);
            state.BccAdd1 = static_cast<qint16>(controlSum + first + last);
        }
        state.BccSource = message;
        state.runBccMake();
        bcc2Text = *bcc2 == Sum::Sum1 ? state.BccCode[3] : state.BccCode[2];
    }

    QByteArray frame;
    if (header)
        frame.append(static_cast<char>(*header));
    frame.append(message);
    frame.append(bcc1Text);
    if (tail)
        frame.append(static_cast<char>(*tail));
    frame.append(bcc2Text);
    return frame;
}

TransactionPlan userDefPlan(const UserDefSelections& selections, const QByteArray& message,
                            ProgramState& state)
{
    constexpr int kUserDefPolls = 1000;
    return chosenLinePlan(buildUserDefFrame(selections, message, state), kUserDefPolls, state);
}
