#include "app/LineChoice.h"

std::optional<qint32> baudRateFromText(QStringView text)
{
    // Six characters hold at most six digits, so the number always fits 32 bits.
    QStringView number = text.left(6).trimmed();
    const bool negative = number.startsWith(u'-');
    if (negative || number.startsWith(u'+'))
        number = number.mid(1);
    if (number.isEmpty())
        return std::nullopt;
    qint32 value = 0;
    for (const QChar c : number) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return negative ? -value : value;
}

QString portNoFromText(QStringView text)
{
    // A character outside the Basic Multilingual Plane is two UTF-16 units; a lone low
    // surrogate is a character of its own and must not take the unit before it along.
    const qsizetype size = text.size();
    const bool pair =
        size >= 2 && text[size - 1].isLowSurrogate() && text[size - 2].isHighSurrogate();
    return text.right(pair ? 2 : 1).toString();
}
