#pragma once
// The names of serial ports shared over the network, as ser2net exports them and labs publish
// them: rfc2217://HOST:PORT (the port's settings travel with RFC 2217) and tcp://HOST:PORT or
// socket://HOST:PORT (raw TCP, the bytes only). HOST is a name, an IPv4 address or an IPv6
// literal in brackets ([::1]). Anywhere a device is named, such a name may stand instead.

#include <QString>

#include <optional>

namespace NetworkPort {

enum class Kind { Rfc2217, RawTcp };

struct Address {
    Kind kind = Kind::Rfc2217;
    QString host; // without brackets
    quint16 port = 0;

    // The name as the program shows it: rfc2217://HOST:PORT or tcp://HOST:PORT, brackets around
    // an IPv6 host.
    QString url() const;
    // HOST:PORT, brackets around an IPv6 host, for messages.
    QString hostAndPort() const;
};

// True when name has the form SCHEME://..., that is, it names no local device.
bool looksLikeNetwork(const QString& name);

// The address a network name gives. Empty when name is no network name (looksLikeNetwork is
// false); when it is one but cannot be used, empty with *error saying why ("rfc2217://box: a
// port number from 1 to 65535 expected after the host").
std::optional<Address> parse(const QString& name, QString* error = nullptr);

} // namespace NetworkPort
