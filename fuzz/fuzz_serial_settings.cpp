// The serial control's settings text, on a closed port, where assigning it only parses it. The
// input is the text as UTF-8 and as UTF-16. A text is taken exactly when a reading written here
// takes it: four comma-separated fields, a positive baud rate that fits 32 bits, n/e/o/m/s,
// 5 to 8 data bits, 1, 1.5 or 2 stop bits. A refusal is BadSettings and quotes the text.

#include "FuzzSupport.h"
#include "serial/SerialControl.h"

#include <QStringList>

#include <charconv>
#include <string>

using fuzz::require;

namespace {

bool positiveNumber(const QString& field)
{
    const std::string digits = field.toStdString();
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    qint32 value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() && end == digits.data() + digits.size() && value > 0;
}

bool readable(const QString& text)
{
    const QStringList fields = text.split(u',');
    if (fields.size() != 4)
        return false;
    const QStringList parities{"n", "e", "o", "m", "s", "N", "E", "O", "M", "S"};
    return positiveNumber(fields[0].trimmed()) && parities.contains(fields[1].trimmed()) &&
           QStringList{"5", "6", "7", "8"}.contains(fields[2].trimmed()) &&
           QStringList{"1", "1.5", "2"}.contains(fields[3].trimmed());
}

void checkSettings(SerialControl& control, const QString& text)
{
    const QString before = control.settings();
    try {
        control.setSettings(text);
        require(readable(text), "an unreadable settings text is refused");
        require(control.settings() == text, "Settings holds the text as given");
        require(text.count(u',') == 3, "an accepted text has four comma-separated fields");
    } catch (const SerialError& error) {
        require(!readable(text), "a readable settings text is taken");
        require(error.kind() == SerialError::Kind::BadSettings, "a refusal is BadSettings");
        require(error.reason().contains(text), "the reason quotes the text");
        require(control.settings() == before, "a refused text leaves Settings as it was");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static SerialControl control;
    checkSettings(control, fuzz::utf8Text(data, size));
    checkSettings(control, fuzz::utf16Text(data, size));
    return 0;
}
