#include "codec/JsonReader.h"

#include <QJsonArray>
#include <QJsonParseError>
#include <QSet>

#include <algorithm>

namespace {

// The place of the character at byte index at: its line and its column in characters.
struct Place {
    int line = 1;
    int column = 1;
};

Place placeOf(QByteArrayView json, qsizetype at)
{
    const QByteArrayView before = json.first(std::clamp<qsizetype>(at, 0, json.size()));
    const qsizetype lineStart = before.lastIndexOf('\n') + 1;
    return {int(before.count('\n')) + 1,
            int(QString::fromUtf8(before.sliced(lineStart)).size()) + 1};
}

QString describe(const Place& place)
{
    return QStringLiteral("line %1, column %2").arg(place.line).arg(place.column);
}

// A key given twice: its path and where it is given the second time.
struct Found {
    QString path;
    Place place;
};

// Walks the text of a document that is already known to be JSON. Should it not be, the walk
// still ends (every step moves on or stops) and finds whatever it finds.
class Scanner {
public:
    explicit Scanner(QByteArrayView json) : m_json(json) {}

    void value(const QString& path)
    {
        switch (peek()) {
        case '{':
            object(path);
            break;
        case '[':
            array(path);
            break;
        case '"':
            string();
            break;
        default:
            while (m_pos < m_json.size() && !isDelimiter(m_json[m_pos]))
                ++m_pos;
        }
    }

private:
    static bool isDelimiter(char c)
    {
        return c == ',' || c == ']' || c == '}' || c == ':' || c == ' ' || c == '\t' || c == '\n' ||
               c == '\r';
    }

    char peek()
    {
        while (m_pos < m_json.size() && (m_json[m_pos] == ' ' || m_json[m_pos] == '\t' ||
                                         m_json[m_pos] == '\n' || m_json[m_pos] == '\r'))
            ++m_pos;
        return m_pos < m_json.size() ? m_json[m_pos] : '\0';
    }

    // At the opening quote; leaves the position past the closing one.
    QString string()
    {
        const qsizetype start = m_pos;
        bool escaped = false;
        for (++m_pos; m_pos < m_json.size() && m_json[m_pos] != '"'; ++m_pos) {
            if (m_json[m_pos] == '\\') {
                escaped = true;
                ++m_pos;
            }
        }
        m_pos = std::min(m_pos + 1, m_json.size());
        const QByteArrayView token = m_json.sliced(start, m_pos - start);
        if (token.size() < 2)
            return {};
        if (!escaped)
            return QString::fromUtf8(token.sliced(1, token.size() - 2));
        // Escapes are rare in keys; Qt decodes them here as it decoded the document.
        return QJsonDocument::fromJson('[' + token.toByteArray() + ']').array().first().toString();
    }

    void object(const QString& path)
    {
        ++m_pos;
        QSet<QString> keys;
        while (peek() == '"') {
            const qsizetype at = m_pos;
            const QString key = string();
            const QString keyPath = path.isEmpty() ? key : path + QLatin1Char('.') + key;
            if (keys.contains(key))
                throw Found{keyPath, placeOf(m_json, at)};
            keys.insert(key);
            if (peek() != ':')
                return;
            ++m_pos;
            value(keyPath);
            if (peek() != ',')
                break;
            ++m_pos;
        }
        if (peek() == '}')
            ++m_pos;
    }

    void array(const QString& path)
    {
        ++m_pos;
        for (qsizetype index = 0; peek() != ']' && m_pos < m_json.size(); ++index) {
            value(path + QLatin1Char('[') + QString::number(index) + QLatin1Char(']'));
            if (peek() != ',')
                break;
            ++m_pos;
        }
        if (peek() == ']')
            ++m_pos;
    }

    QByteArrayView m_json;
    qsizetype m_pos = 0;
};

} // namespace

namespace JsonReader {

std::variant<QJsonDocument, QString> read(QByteArrayView json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError) {
        // Qt reports the offset just past the character it stopped at, mostly; at the start of
        // a line it names the line's first column.
        Place place = placeOf(json, error.offset);
        place.column = std::max(1, place.column - 1);
        return describe(place) + QStringLiteral(": ") + error.errorString();
    }
    try {
        Scanner(json).value({});
    } catch (const Found& twice) {
        return twice.path +
               QStringLiteral(": key given twice (again at %1)").arg(describe(twice.place));
    }
    return document;
}

} // namespace JsonReader
