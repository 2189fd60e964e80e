#include "codec/Cp949.h"

#include <iconv.h>

#include <array>
#include <stdexcept>
#include <utility>

namespace codec::cp949 {

namespace {

// glibc's "CP949" is Microsoft's UHC, the Windows code page itself (not IBM-949). UTF-32LE keeps
// the other side to one fixed-size unit per character.
class Converter {
public:
    Converter(const char* to, const char* from) : m_handle(iconv_open(to, from))
    {
        if (m_handle == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv cannot convert between CP949 and UTF-32LE");
    }
    ~Converter() { iconv_close(m_handle); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much of input as fits into output; answers the bytes taken and written.
    std::pair<size_t, size_t> convert(const char* input, size_t inputSize, char* output,
                                      size_t outputSize)
    {
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(input);
        size_t inLeft = inputSize;
        char* out = output;
        size_t outLeft = outputSize;
        iconv(m_handle, &in, &inLeft, &out, &outLeft);
        return {inputSize - inLeft, outputSize - outLeft};
    }

private:
    iconv_t m_handle;
};

Converter& encoder()
{
    thread_local Converter converter("CP949", "UTF-32LE");
    return converter;
}

Converter& decoder()
{
    thread_local Converter converter("UTF-32LE", "CP949");
    return converter;
}

} // namespace

QByteArray encode(char32_t character)
{
    const std::array<unsigned char, 4> input{
        static_cast<unsigned char>(character), static_cast<unsigned char>(character >> 8),
        static_cast<unsigned char>(character >> 16), static_cast<unsigned char>(character >> 24)};
    std::array<char, 4> output{};
    const auto [taken, written] = encoder().convert(reinterpret_cast<const char*>(input.data()),
                                                    input.size(), output.data(), output.size());
    if (taken != input.size())
        return {};
    return QByteArray(output.data(), static_cast<qsizetype>(written));
}

Decoded decode(QByteArrayView bytes)
{
    // Room for exactly one character: iconv stops after it, so "taken" is that character's
    // length, and a strict converter takes nothing from a lone or badly trailed lead byte.
    std::array<unsigned char, 4> output{};
    const auto [taken, written] =
        decoder().convert(bytes.data(), static_cast<size_t>(qMin<qsizetype>(bytes.size(), 2)),
                          reinterpret_cast<char*>(output.data()), output.size());
    if (written != output.size())
        return {};
    const char32_t character =
        output[0] | (output[1] << 8) | (output[2] << 16) | (static_cast<char32_t>(output[3]) << 24);
    return {character, static_cast<qsizetype>(taken)};
}

} // namespace codec::cp949
