#pragma once
// The few questions about a serial device that Qt Serial Port does not answer. Each operating
// system has its own implementation file.

#include <QString>

#include <optional>

namespace SerialSystem {

// A line format as the device itself reports it.
struct LineFormat {
    qint32 baud = 0;
    int dataBits = 0;
    char parity = 'N'; // N, E, O, M or S
    bool twoStopBits = false;
};

// What the device is really set to; a driver may keep a value it cannot do without saying so.
// No value when the device cannot tell.
std::optional<LineFormat> lineFormat(qintptr handle);

// Bytes the driver still holds for sending on the line; -1 when the device cannot tell.
int outputQueued(qintptr handle);

// True when the device has something to tell at once: bytes to read, or a hang-up or error.
bool hasNews(qintptr handle);

// Hands the driver what it takes of size bytes at once, without waiting: the count taken, 0 when
// its queue is full, -1 when the device refuses (errno says why).
qint64 writeSome(qintptr handle, const char* bytes, qint64 size);

// True when the device at path exists but the effective user may not read and write it, which
// tells a plain "no permission" apart from a device held by another program.
bool accessDenied(const QString& path);

// How the effective user gets read and write access to the device at path, for a person to
// follow: the group that owns it, and on Debian how to join it.
QString accessHint(const QString& path);

} // namespace SerialSystem
