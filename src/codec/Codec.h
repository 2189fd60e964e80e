#pragma once
// The codec layer (src/codec): bytes as characters and as hex digits, the sum checks, code page
// 949, and the check of hand-written JSON for a key given twice. Pure functions over Qt Core: it
// uses no other layer, and every other layer may use it.
//
// The frame codec. Bytes are the truth: a frame or a reply is a QByteArray, and a text box shows
// those bytes in one of two views, characters (code page 949, control characters as visible
// symbols) or hex digits. Every view turns back into exactly the bytes it was made from.
// The block check codes are sums over the bytes that are actually sent.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>
#include <stdexcept>

namespace codec {

// A text that cannot become bytes. Names the offending character and its position (counted
// from 1 in characters of the text), so a message box can say exactly what is wrong.
class CodecError : public std::runtime_error {
public:
    CodecError(const QString& message, const QString& character, qsizetype position);
    QString message() const { return m_message; }
    QString character() const { return m_character; }
    qsizetype position() const { return m_position; }

private:
    QString m_message;
    QString m_character;
    qsizetype m_position;
};

// Hex digit text of every byte, blanks included: two upper-case digits a byte, no separators.
QString AscConvert(QByteArrayView bytes);

// The bytes of a hex digit text. Blanks, tabs and line breaks around and between digit pairs
// are ignored, a to f read like A to F, a last lone digit d reads as 0d. Any other character,
// or a blank that splits a pair, throws CodecError and nothing is converted.
QByteArray HexConvert(QStringView hexText);

// The value 0 to 255 of two hex digits (either case); -1 when either is no hex digit.
int HexPairValue(QChar high, QChar low);

// The four renderings of the sum S of every byte of source (0 to 255 each, any length):
// [0] S as exactly two digits; [1] S + 9, [2] S + add1, [3] S + add2 as their last two digits,
// a single digit for values 0 to 15. Upper-case hex, ASCII bytes.
using BccCodes = std::array<QByteArray, 4>;
BccCodes BccMake(QByteArrayView source, qint16 add1, qint16 add2);

// How a CR LF pair shows in the character view: as a line break in multi-line boxes, or as two
// control symbols in one-line boxes. Either form reads back as CR LF.
enum class LineBreaks { AsLineBreak, AsSymbols };

// The character view of bytes: code page 949 characters; codes 0 to 31 and 127 as the Unicode
// control pictures (U+2400 to U+241F, U+2421); a byte that is no valid code page 949 sequence
// as the Braille pattern U+2800 + byte, so it stays visible, distinct and exact.
QString bytesToText(QByteArrayView bytes, LineBreaks lineBreaks);
// Whether the character view shows the bytes as text a person reads: no byte of them is a
// Braille stand-in for a byte that is no character.
bool readsAsText(QByteArrayView bytes);

// The bytes of a character-view text: the reverse of bytesToText; a line break stands for
// CR LF. A character code page 949 cannot encode throws CodecError.
QByteArray textToBytes(QStringView text);

// The text with its control characters (codes 0 to 31 and 127) as the control pictures the
// character view shows, so that a name or a path printed to a terminal cannot act on it.
QString withControlPictures(QStringView text);

enum class View { Characters, HexDigits };

// bytesToText or AscConvert, by view.
QString render(QByteArrayView bytes, View view, LineBreaks lineBreaks);
// textToBytes or HexConvert, by view. Throws CodecError.
QByteArray parse(QStringView text, View view);

} // namespace codec
