// The character view both ways. Any bytes come back exactly through either line-break form;
// any text either becomes bytes as a whole or is refused at its first unencodable character.

#include "FuzzSupport.h"
#include "codec/Codec.h"

#include <QList>

using namespace codec;
using fuzz::require;

namespace {

void checkBytesComeBack(QByteArrayView bytes, LineBreaks lineBreaks)
{
    const QString text = bytesToText(bytes, lineBreaks);
    require(textToBytes(text) == bytes, "bytes -> characters -> bytes is exact");
    require(render(bytes, View::Characters, lineBreaks) == text, "render is the character view");
    require(parse(text, View::Characters) == bytes, "parse reads the character view");
    for (const QChar c : text) {
        const bool lineBreak = c == u'\n' && lineBreaks == LineBreaks::AsLineBreak;
        require(lineBreak || (c.unicode() >= 0x20 && c.unicode() != 0x7F),
                "control bytes show as visible symbols");
        require(c != QChar::ReplacementCharacter, "no byte shows as U+FFFD");
    }
}

QString oneCharacter(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

// Bytes a single typed character must give, when the character view fixes them: ASCII as
// itself, control pictures and byte escapes as their byte. Empty for code page 949 characters.
QByteArray fixedBytes(char32_t c)
{
    if (c == U'\n' || c == 0x2028 || c == 0x2029)
        return "\r\n";
    if (c < 0x80)
        return QByteArray(1, static_cast<char>(c));
    if (c >= 0x2400 && c < 0x2420)
        return QByteArray(1, static_cast<char>(c - 0x2400));
    if (c == 0x2421)
        return QByteArray(1, '\x7F');
    if (c >= 0x2800 && c < 0x2900)
        return QByteArray(1, static_cast<char>(c - 0x2800));
    return {};
}

void checkRefusal(const QList<uint>& characters, const CodecError& error)
{
    const qsizetype position = error.position();
    require(position >= 1 && position <= characters.size(), "the refusal points into the text");
    const char32_t offending = characters[position - 1];
    require(error.character() == oneCharacter(offending), "the refusal names its character");
    require(error.message().contains(QString::number(position)), "the message gives the position");
    require(fixedBytes(offending).isEmpty(), "a character with fixed bytes is never refused");
    try {
        textToBytes(QString::fromUcs4(reinterpret_cast<const char32_t*>(characters.constData()),
                                      position - 1));
    } catch (const CodecError&) {
        require(false, "everything before the refused character converts");
    }
}

void checkText(const QString& text)
{
    const QList<uint> characters = fuzz::characters(text);
    QByteArray bytes;
    try {
        bytes = textToBytes(text);
    } catch (const CodecError& error) {
        checkRefusal(characters, error);
        return;
    }
    // Converted as a whole: the bytes are the characters' own bytes one after the other, so
    // nothing was dropped, doubled or taken from a neighbour.
    QByteArray joined;
    for (qsizetype i = 0; i < characters.size(); ++i) {
        const char32_t c = characters[i];
        if (c == U'\r' && i + 1 < characters.size() && characters[i + 1] == U'\n') {
            joined.append("\r\n");
            ++i;
            continue;
        }
        const QByteArray own = textToBytes(oneCharacter(c));
        const QByteArray fixed = fixedBytes(c);
        require(fixed.isEmpty() ? own.size() == 1 || own.size() == 2 : own == fixed,
                "a character gives its own bytes");
        if (fixed.isEmpty())
            require(bytesToText(own, LineBreaks::AsSymbols).toUcs4().size() == 1,
                    "a code page 949 character's bytes read back as one character");
        joined.append(own);
    }
    require(joined == bytes, "the text's bytes are its characters' bytes in order");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes = fuzz::inputBytes(data, size);
    checkBytesComeBack(bytes, LineBreaks::AsLineBreak);
    checkBytesComeBack(bytes, LineBreaks::AsSymbols);
    checkText(fuzz::utf8Text(data, size));
    checkText(fuzz::utf16Text(data, size));
    return 0;
}
