#include "codec/DuplicateKey.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <algorithm>

namespace {

struct Found {
    DuplicateKey key;
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
            if (keys.contains(key))
                throw Found{{path, key, lineOf(at), columnOf(at)}};
            keys.insert(key);
            if (peek() != ':')
                return;
            ++m_pos;
            value(path.isEmpty() ? key : path + QLatin1Char('.') + key);
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

    int lineOf(qsizetype at) const { return int(m_json.first(at).count('\n')) + 1; }

    int columnOf(qsizetype at) const
    {
        const qsizetype lineStart = m_json.first(at).lastIndexOf('\n') + 1;
        return int(QString::fromUtf8(m_json.sliced(lineStart, at - lineStart)).size()) + 1;
    }

    QByteArrayView m_json;
    qsizetype m_pos = 0;
};

} // namespace

std::optional<DuplicateKey> findDuplicateKey(QByteArrayView json)
{
    try {
        Scanner(json).value({});
    } catch (const Found& found) {
        return found.key;
    }
    return std::nullopt;
}
