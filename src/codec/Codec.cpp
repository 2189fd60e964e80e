#include "codec/Codec.h"

#include "codec/Cp949.h"

#include <QList>

#include <algorithm>

namespace codec {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char32_t kControlPictures = 0x2400; // U+2400 + code shows codes 0 to 31
constexpr char32_t kDeletePicture = 0x2421;   // shows code 127
constexpr char32_t kByteEscapes = 0x2800;     // U+2800 + byte keeps an undecodable byte
constexpr char32_t kLineSeparator = 0x2028;
constexpr char32_t kParagraphSeparator = 0x2029;

bool isLineBreak(char32_t c)
{
    return c == U'\n' || c == U'\r' || c == kLineSeparator || c == kParagraphSeparator;
}

bool isHexSeparator(char32_t c)
{
    return c == U' ' || c == U'\t' || isLineBreak(c);
}

int hexDigitValue(char32_t c)
{
    if (c >= U'0' && c <= U'9')
        return static_cast<int>(c - U'0');
    if (c >= U'A' && c <= U'F')
        return static_cast<int>(c - U'A') + 10;
    if (c >= U'a' && c <= U'f')
        return static_cast<int>(c - U'a') + 10;
    return -1;
}

QString characterText(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

// How a message names a character: the invisible ones by a word or their code point alone (a
// control character, a lone surrogate), the rest as themselves with their code point, so "é"
// and "e" cannot be confused in a message box.
QString describe(char32_t c)
{
    if (c == U' ')
        return QStringLiteral("blank");
    if (c == U'\t')
        return QStringLiteral("tab");
    if (isLineBreak(c))
        return QStringLiteral("line break");
    const QString code =
        QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
    if (c < 0x20 || c == 0x7F || QChar::isSurrogate(c))
        return code;
    return QStringLiteral("\"%1\" (%2)").arg(characterText(c), code);
}

QByteArray twoDigits(qint64 value)
{
    const auto low = static_cast<quint8>(value);
    const char digits[] = {kHexDigits[low >> 4], kHexDigits[low & 0xF]};
    return QByteArray(digits, 2);
}

// A check value of 0 to 15 keeps its single digit; anything else, negative values included, is
// the low byte of its two's complement as two digits.
QByteArray checkDigits(qint64 value)
{
    if (value >= 0 && value < 16)
        return QByteArray(1, kHexDigits[value]);
    return twoDigits(value);
}

// The characters of a text. A surrogate that is not half of a pair stays itself, where
// QString::toUcs4 would make it U+FFFD, so a refusal names the character the text holds.
QList<char32_t> codePoints(QStringView text)
{
    QList<char32_t> characters;
    characters.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            characters.append(QChar::surrogateToUcs4(c, text[i + 1]));
            ++i;
        } else {
            characters.append(c.unicode());
        }
    }
    return characters;
}

void appendCodePoint(QString& text, char32_t c)
{
    text.append(QStringView(QChar::fromUcs4(c)));
}

} // namespace

CodecError::CodecError(const QString& message, const QString& character, qsizetype position)
    : std::runtime_error(message.toStdString()), m_message(message), m_character(character),
      m_position(position)
{
}

QString AscConvert(QByteArrayView bytes)
{
    QString hex;
    hex.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        const auto value = static_cast<quint8>(byte);
        hex.append(QLatin1Char(kHexDigits[value >> 4]));
        hex.append(QLatin1Char(kHexDigits[value & 0xF]));
    }
    return hex;
}

QByteArray HexConvert(QStringView hexText)
{
    const QList<char32_t> characters = codePoints(hexText);
    QByteArray bytes;
    bytes.reserve(characters.size() / 2 + 1);
    int high = -1;
    // A separator after the first digit of a pair is harmless at the very end (the digit is then
    // the last lone one) and an error as soon as another digit follows it.
    qsizetype splitPosition = 0;
    for (qsizetype i = 0; i < characters.size(); ++i) {
        const char32_t c = characters[i];
        const qsizetype position = i + 1;
        if (isHexSeparator(c)) {
            if (high >= 0 && splitPosition == 0)
                splitPosition = position;
            continue;
        }
        const int value = hexDigitValue(c);
        if (value < 0)
            throw CodecError(QStringLiteral("The %1 at position %2 is not a hexadecimal digit.")
                                 .arg(describe(c))
                                 .arg(position),
                             characterText(c), position);
        if (splitPosition != 0) {
            const char32_t split = characters[splitPosition - 1];
            throw CodecError(
                QStringLiteral("The %1 at position %2 splits a pair of hexadecimal digits.")
                    .arg(describe(split))
                    .arg(splitPosition),
                characterText(split), splitPosition);
        }
        if (high < 0) {
            high = value;
        } else {
            bytes.append(static_cast<char>(high * 16 + value));
            high = -1;
        }
    }
    if (high >= 0)
        bytes.append(static_cast<char>(high));
    return bytes;
}

int HexPairValue(QChar high, QChar low)
{
    const int highValue = hexDigitValue(high.unicode());
    const int lowValue = hexDigitValue(low.unicode());
    if (highValue < 0 || lowValue < 0)
        return -1;
    return highValue * 16 + lowValue;
}

BccCodes BccMake(QByteArrayView source, qint16 add1, qint16 add2)
{
    qint64 sum = 0;
    for (const char byte : source)
        sum += static_cast<quint8>(byte);
    return {twoDigits(sum), checkDigits(sum + 9), checkDigits(sum + add1), checkDigits(sum + add2)};
}

QString bytesToText(QByteArrayView bytes, LineBreaks lineBreaks)
{
    QString text;
    text.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<quint8>(bytes[i]);
        if (lineBreaks == LineBreaks::AsLineBreak && byte == kCr && i + 1 < bytes.size() &&
            bytes[i + 1] == kLf) {
            text.append(QLatin1Char('\n'));
            i += 2;
        } else if (byte < 0x20) {
            appendCodePoint(text, kControlPictures + byte);
            ++i;
        } else if (byte == 0x7F) {
            appendCodePoint(text, kDeletePicture);
            ++i;
        } else if (byte < 0x80) {
            text.append(QLatin1Char(static_cast<char>(byte)));
            ++i;
        } else if (const cp949::Decoded decoded = cp949::decode(bytes.sliced(i));
                   decoded.length > 0) {
            appendCodePoint(text, decoded.character);
            i += decoded.length;
        } else {
            appendCodePoint(text, kByteEscapes + byte);
            ++i;
        }
    }
    return text;
}

bool readsAsText(QByteArrayView bytes)
{
    const QString text = bytesToText(bytes, LineBreaks::AsSymbols);
    return std::none_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= kByteEscapes && c.unicode() < kByteEscapes + 0x100;
    });
}

QByteArray textToBytes(QStringView text)
{
    const QList<char32_t> characters = codePoints(text);
    QByteArray bytes;
    bytes.reserve(characters.size());
    for (qsizetype i = 0; i < characters.size(); ++i) {
        const char32_t c = characters[i];
        if (c == U'\r' && i + 1 < characters.size() && characters[i + 1] == U'\n') {
            bytes.append("\r\n");
            ++i;
        } else if (c == U'\n' || c == kLineSeparator || c == kParagraphSeparator) {
            bytes.append("\r\n");
        } else if (c < 0x80) {
            bytes.append(static_cast<char>(c));
        } else if (c >= kControlPictures && c < kControlPictures + 0x20) {
            bytes.append(static_cast<char>(c - kControlPictures));
        } else if (c == kDeletePicture) {
            bytes.append(static_cast<char>(0x7F));
        } else if (c >= kByteEscapes && c < kByteEscapes + 0x100) {
            bytes.append(static_cast<char>(c - kByteEscapes));
        } else if (const QByteArray encoded = cp949::encode(c); !encoded.isEmpty()) {
            bytes.append(encoded);
        } else {
            const qsizetype position = i + 1;
            throw CodecError(QStringLiteral("The character %1 at position %2 has no code in "
                                            "code page 949.")
                                 .arg(describe(c))
                                 .arg(position),
                             characterText(c), position);
        }
    }
    return bytes;
}

QString withControlPictures(QStringView text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20)
            appendCodePoint(shown, kControlPictures + c.unicode());
        else if (c.unicode() == 0x7F)
            appendCodePoint(shown, kDeletePicture);
        else
            shown.append(c);
    }
    return shown;
}

QString render(QByteArrayView bytes, View view, LineBreaks lineBreaks)
{
    return view == View::Characters ? bytesToText(bytes, lineBreaks) : AscConvert(bytes);
}

QByteArray parse(QStringView text, View view)
{
    return view == View::Characters ? textToBytes(text) : HexConvert(text);
}

} // namespace codec
