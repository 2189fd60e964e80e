#include "windows/LineChoice.h"

std::optional<qint32> baudRateFromText(QStringView text)
{
    // Six characters hold at most six digits, so the number always fits 32 bits.
    QStringView number = text.left(6);
    while (!number.isEmpty() && number.front().isSpace())
        number = number.mid(1);
    const bool negative = number.startsWith(u'-');
    if (negative || number.startsWith(u'+'))
        number = number.mid(1);
    const auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    if (number.isEmpty() || !isDigit(number.front()))
        return std::nullopt;
    qint32 value = 0;
    for (qsizetype i = 0; i < number.size() && isDigit(number[i]); ++i)
        value = value * 10 + (number[i].unicode() - u'0');
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
