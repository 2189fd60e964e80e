#pragma once
// QJsonDocument keeps the last of a key given twice in one object and drops the others without a
// word, so a hand-written plan whose second "expect" replaced the first would run as if nothing
// were wrong. The readers of hand-written JSON look for a repeated key in the text themselves.

#include <QByteArrayView>
#include <QString>

#include <optional>

struct DuplicateKey {
    // The object that holds the key, named as the readers name places ("steps[0].expect");
    // empty for the document's own object.
    QString objectPath;
    QString key;
    // Where the key is given the second time, counted from 1 (columns in characters).
    int line = 0;
    int column = 0;
};

// The first key given twice in one object of json, a document QJsonDocument has read without a
// fault; none when every object's keys differ. Keys compare as Qt decodes them ("a" is "\u0061").
std::optional<DuplicateKey> findDuplicateKey(QByteArrayView json);
