// The hex view both ways. Bytes come back exactly through their digits, however the pairs are
// spaced; any text reads as a reading of its digits written here independently says: the same
// bytes, or a refusal at the same position.

#include "FuzzSupport.h"
#include "codec/Codec.h"

#include <QList>

#include <string_view>
#include <utility>
#include <variant>
#include <vector>

using namespace codec;
using fuzz::require;

namespace {

constexpr std::u32string_view kDigits = U"0123456789abcdef0123456789ABCDEF";
constexpr std::u32string_view kSeparators = U" \t\r\n\u2028\u2029";

int digitValue(char32_t c)
{
    const auto at = kDigits.find(c);
    return at == std::u32string_view::npos ? -1 : static_cast<int>(at % 16);
}

// The bytes of a hex text, or the position (from 1) where it is refused: the first character
// that is neither digit nor separator, unless an earlier pair is split by a separator, which
// is refused at the first character after the pair's first digit.
std::variant<QByteArray, qsizetype> readDigits(const QList<uint>& characters)
{
    std::vector<std::pair<qsizetype, int>> digits; // position, value
    qsizetype stranger = 0;
    for (qsizetype i = 0; i < characters.size() && stranger == 0; ++i) {
        const int value = digitValue(characters[i]);
        if (value >= 0)
            digits.emplace_back(i + 1, value);
        else if (kSeparators.find(characters[i]) == std::u32string_view::npos)
            stranger = i + 1;
    }
    QByteArray bytes;
    for (std::size_t k = 0; k < digits.size(); k += 2) {
        if (k + 1 == digits.size()) {
            bytes.append(static_cast<char>(digits[k].second));
            break;
        }
        if (digits[k + 1].first != digits[k].first + 1)
            return digits[k].first + 1;
        bytes.append(static_cast<char>(digits[k].second * 16 + digits[k + 1].second));
    }
    if (stranger != 0)
        return stranger;
    return bytes;
}

void checkBytesComeBack(QByteArrayView bytes)
{
    const QString hex = AscConvert(bytes);
    require(hex == QString::fromLatin1(bytes.toByteArray().toHex().toUpper()),
            "two upper-case digits a byte");
    require(render(bytes, View::HexDigits, LineBreaks::AsSymbols) == hex, "render is AscConvert");
    require(HexConvert(hex) == bytes, "bytes -> hex -> bytes is exact");
    require(parse(hex.toLower(), View::HexDigits) == bytes, "lower-case digits read alike");

    // The same pairs spaced the ways a person types them, chosen by the bytes themselves.
    constexpr std::u16string_view kSpacings[] = {u" ", u"\t", u"\r\n", u"  \n ", u"\u2028", u""};
    QString spaced = QStringLiteral(" ");
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        spaced += QStringView(hex).mid(2 * i, 2);
        spaced += kSpacings[static_cast<quint8>(bytes[i]) % std::size(kSpacings)];
    }
    require(HexConvert(spaced) == bytes, "separators between pairs are ignored");
}

void checkText(const QString& text)
{
    const QList<uint> characters = fuzz::characters(text);
    const auto expected = readDigits(characters);
    try {
        const QByteArray bytes = HexConvert(text);
        require(std::holds_alternative<QByteArray>(expected), "a refusable text is refused");
        require(bytes == std::get<QByteArray>(expected), "the bytes are the digits' values");
    } catch (const CodecError& error) {
        require(std::holds_alternative<qsizetype>(expected), "a readable text is read");
        const qsizetype position = std::get<qsizetype>(expected);
        require(error.position() == position, "refused at the first wrong character");
        const char32_t c = characters[position - 1];
        require(error.character() == QString::fromUcs4(&c, 1), "the refusal names it");
        require(error.message().contains(QString::number(position)), "the message gives it");
    }

    // Every neighbouring pair of UTF-16 units as a pair of digits.
    for (qsizetype i = 0; i + 1 < text.size() && i < 256; ++i) {
        const int high = digitValue(text[i].unicode());
        const int low = digitValue(text[i + 1].unicode());
        const int value = high < 0 || low < 0 ? -1 : high * 16 + low;
        require(HexPairValue(text[i], text[i + 1]) == value, "HexPairValue reads two digits");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    checkBytesComeBack(fuzz::inputBytes(data, size));
    checkText(fuzz::utf8Text(data, size));
    checkText(fuzz::utf16Text(data, size));
    return 0;
}
