// The settings window's readers of its speed and port texts, on the input as UTF-8 and as
// UTF-16. The speed is checked against std::from_chars on the first six characters; the port
// number must be the text's last character, a surrogate pair whole and a lone surrogate alone.

#include "FuzzSupport.h"
#include "app/LineChoice.h"

#include <charconv>
#include <optional>
#include <string>

using fuzz::require;

namespace {

std::optional<qint32> readSpeed(const QString& text)
{
    const QString head = text.left(6).trimmed();
    for (const QChar c : head)
        if (c.unicode() >= 0x80)
            return std::nullopt;
    const std::string ascii = head.toStdString();
    const bool sign = ascii.starts_with('+') || ascii.starts_with('-');
    const std::string digits = sign ? ascii.substr(1) : ascii;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    // from_chars takes a minus sign but no plus sign.
    const std::string number = ascii.starts_with('-') ? ascii : digits;
    qint32 value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    require(error == std::errc() && end == number.data() + number.size(),
            "six characters always fit 32 bits");
    return value;
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
