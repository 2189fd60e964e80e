#pragma once
// What every fuzz target shares: a broken invariant aborts, so libFuzzer keeps the input as a
// crash, the two ways a target turns its input into a text, and the characters of a text.

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

inline void require(bool holds, const char* invariant)
{
    if (holds)
        return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

inline QByteArrayView inputBytes(const std::uint8_t* data, std::size_t size)
{
    return QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// The input read as UTF-8; invalid sequences become U+FFFD as in any pasted text.
inline QString utf8Text(const std::uint8_t* data, std::size_t size)
{
    return QString::fromUtf8(inputBytes(data, size));
}

// The input as little-endian UTF-16 units taken as they are, lone surrogates included: a text
// box can hold them, and no decoder stands between them and the code under test.
inline QString utf16Text(const std::uint8_t* data, std::size_t size)
{
    QString text(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8));
    return text;
}

// The characters of a text as the codec counts them: a surrogate pair as one, a lone surrogate
// as itself (QString::toUcs4 would make it U+FFFD).
inline QList<uint> characters(const QString& text)
{
    QList<uint> characters;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            characters.append(QChar::surrogateToUcs4(text[i], text[i + 1]));
            ++i;
        } else {
            characters.append(text[i].unicode());
        }
    }
    return characters;
}

} // namespace fuzz
