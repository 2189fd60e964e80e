// The settings window's readers of its speed and port texts, on the input as UTF-8 and as
// UTF-16. The speed is checked against std::from_chars on the digits the first six characters
// start with; the port number must be the text's last character, a surrogate pair whole and a
// lone surrogate alone.

#include "FuzzSupport.h"
#include "windows/LineChoice.h"

#include <charconv>
#include <optional>
#include <string>

using fuzz::require;

namespace {

// The number the first six characters start with, after blanks and an optional sign.
std::optional<qint32> readSpeed(const QString& text)
{
    QString head = text.left(6);
    while (!head.isEmpty() && head.front().isSpace())
        head.remove(0, 1);
    std::string ascii;
    for (const QChar c : head)
        ascii += c.unicode() < 0x80 ? char(c.unicode()) : '?';
    const bool negative = ascii.starts_with('-');
    const std::string rest = negative || ascii.starts_with('+') ? ascii.substr(1) : ascii;
    const std::string digits = rest.substr(0, rest.find_first_not_of("0123456789"));
    if (digits.empty())
        return std::nullopt;
    qint32 value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    require(error == std::errc() && end == digits.data() + digits.size(),
            "six characters always fit 32 bits");
    return negative ? -value : value;
}

void checkPortNo(const QString& text)
{
    const QString portNo = portNoFromText(text);
    if (text.isEmpty()) {
        require(portNo.isEmpty(), "an empty text has no port number");
        return;
    }
    const qsizetype n = text.size();
    const bool pair = n >= 2 && text[n - 2].isHighSurrogate() && text[n - 1].isLowSurrogate();
    require(portNo == text.right(pair ? 2 : 1), "the port number is the last character");
}

void checkTexts(const QString& text)
{
    require(baudRateFromText(text) == readSpeed(text), "the speed is the number it starts with");
    checkPortNo(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    checkTexts(fuzz::utf8Text(data, size));
    checkTexts(fuzz::utf16Text(data, size));
    return 0;
}
