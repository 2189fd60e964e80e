#pragma once
// The one reader of the JSON documents people write by hand (test plans, answer rules). It says
// where a document is wrong in one way for every reader: by line and column, counted from 1
// (columns in characters), at the character where reading stopped.
//
// QJsonDocument keeps the last of a key given twice in one object and drops the others without a
// word, so a hand-written plan whose second "expect" replaced the first would run as if nothing
// were wrong. The reader refuses a key given twice as it refuses text that is no JSON.

#include <QByteArrayView>
#include <QJsonDocument>
#include <QString>

#include <variant>

namespace JsonReader {

// The document, or the refusal's text: "line 3, column 7: missing name separator" for text that
// is no JSON; "steps[0].expect: key given twice (again at line 1, column 72)" for a key given
// twice, the key named by its path as the readers name places. Keys compare as Qt decodes them
// ("a" is "\u0061").
std::variant<QJsonDocument, QString> read(QByteArrayView json);

} // namespace JsonReader
