#pragma once
// Expected frames and replies written as hex digits: hex("0604") is ACK EOT.

#include <QByteArray>

inline QByteArray hex(const char* digits)
{
    return QByteArray::fromHex(digits);
}
