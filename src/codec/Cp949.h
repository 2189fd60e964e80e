#pragma once
// Code page 949 one character at a time. This is the only seam between the codec and the
// platform's converter: the character view does its own escaping and asks here only "which bytes
// is this character" and "which character do these bytes start with".

#include <QByteArray>
#include <QByteArrayView>

namespace codec::cp949 {

// The one or two bytes of character; empty when code page 949 has no code for it.
QByteArray encode(char32_t character);

struct Decoded {
    char32_t character = 0;
    qsizetype length = 0; // bytes taken, 1 or 2; 0 when the bytes start no valid sequence
};

// The character that the first one or two bytes of bytes stand for.
Decoded decode(QByteArrayView bytes);

} // namespace codec::cp949
