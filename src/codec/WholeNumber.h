#pragma once
// The one reader of whole numbers: every option and plan field that takes a count, a delay, a
// port or a rate reads it here, within limits it states, and a refusal says the same everywhere:
//     a whole number from 1 to 1000000 expected, not "many"
// The caller puts the place in front ("--repeat: ", "steps[1].repeat: ").

#include <QJsonValue>
#include <QString>

#include <optional>

struct WholeNumber {
    qint64 min = 0;
    qint64 max = 0;

    // Decimal ASCII digits with an optional sign, blanks around them ignored; none when the text
    // is no such number or the number lies outside min to max.
    std::optional<qint64> read(const QString& text) const;
    // A JSON number with no fraction from min to max; none for anything else.
    std::optional<qint64> read(const QJsonValue& value) const;

    // "a whole number from MIN to MAX expected, not GIVEN": the text given in quotes, a JSON
    // value as it is written ("1.5", "\"5\"", "true"; "a list", "an object").
    QString refusal(const QString& given) const;
    QString refusal(const QJsonValue& given) const;
};
