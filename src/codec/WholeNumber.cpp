#include "codec/WholeNumber.h"

#include <QLocale>

#include <cmath>

namespace {

QString refusalOf(const WholeNumber& limits, const QString& given)
{
    return QStringLiteral("a whole number from %1 to %2 expected, not %3")
        .arg(limits.min)
        .arg(limits.max)
        .arg(given);
}

} // namespace

std::optional<qint64> WholeNumber::read(const QString& text) const
{
    const QStringView trimmed = QStringView(text).trimmed();
    const bool negative = trimmed.startsWith(u'-');
    const QStringView digits = trimmed.sliced(negative || trimmed.startsWith(u'+') ? 1 : 0);
    if (digits.isEmpty())
        return std::nullopt;
    // The largest magnitude the limits let through, so that a long number stops before it
    // could overflow.
    const qint64 bound = negative ? -min : max;
    qint64 magnitude = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c.unicode() - u'0';
        if (magnitude > (bound - digit) / 10)
            return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    const qint64 number = negative ? -magnitude : magnitude;
    if (number < min || number > max)
        return std::nullopt;
    return number;
}

std::optional<qint64> WholeNumber::read(const QJsonValue& value) const
{
    const double number = value.toDouble();
    if (!value.isDouble() || number != std::floor(number) || number < double(min) ||
        number > double(max))
        return std::nullopt;
    return qint64(number);
}

QString WholeNumber::refusal(const QString& given) const
{
    return refusalOf(*this, QLatin1Char('"') + given + QLatin1Char('"'));
}

QString WholeNumber::refusal(const QJsonValue& given) const
{
    switch (given.type()) {
    case QJsonValue::Double: {
        // A whole number as its digits: 'g' would write 3000000 as 3e+06.
        const double number = given.toDouble();
        if (number == std::floor(number) && std::abs(number) < 1e15)
            return refusalOf(*this, QString::number(qint64(number)));
        return refusalOf(*this, QString::number(number, 'g', QLocale::FloatingPointShortest));
    }
    case QJsonValue::String:
        return refusal(given.toString());
    case QJsonValue::Bool:
        return refusalOf(*this, given.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
    case QJsonValue::Array:
        return refusalOf(*this, QStringLiteral("a list"));
    case QJsonValue::Object:
        return refusalOf(*this, QStringLiteral("an object"));
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return refusalOf(*this, QStringLiteral("null"));
}
