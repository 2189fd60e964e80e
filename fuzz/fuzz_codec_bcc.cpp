// BccMake against a sum worked out here: the input's first two pairs of bytes are add1 and add2
// (little-endian, any sign), the rest is the source.

#include "FuzzSupport.h"
#include "codec/Codec.h"

#include <cstdio>

using fuzz::require;

namespace {

qint16 addend(const std::uint8_t* data, std::size_t size, std::size_t at)
{
    const unsigned low = at < size ? data[at] : 0;
    const unsigned high = at + 1 < size ? data[at + 1] : 0;
    return static_cast<qint16>(static_cast<quint16>(low | high << 8));
}

// The last two hex digits of value's two's complement; one digit for 0 to 15 unless two are
// always written.
QByteArray checkText(long long value, bool alwaysTwoDigits)
{
    char digits[3];
    if (!alwaysTwoDigits && value >= 0 && value < 16)
        std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(value));
    else
        std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(value & 0xFF));
    return digits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const qint16 add1 = addend(data, size, 0);
    const qint16 add2 = addend(data, size, 2);
    const QByteArrayView source =
        size > 4 ? fuzz::inputBytes(data + 4, size - 4) : QByteArrayView();
    long long sum = 0;
    for (const char byte : source)
        sum += static_cast<unsigned char>(byte);

    const codec::BccCodes codes = codec::BccMake(source, add1, add2);
    require(codes[0] == checkText(sum, true), "code 0 is the sum's two digits");
    require(codes[1] == checkText(sum + 9, false), "code 1 is the sum plus 9");
    require(codes[2] == checkText(sum + add1, false), "code 2 is the sum plus add1");
    require(codes[3] == checkText(sum + add2, false), "code 3 is the sum plus add2");
    return 0;
}
