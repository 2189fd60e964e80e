#pragma once
// The simulated device's line over the network. The device's serving thread keeps polling a file
// descriptor as it polls a pty's master: one end of a socket pair, whose other end the bridge
// pumps to and from a gensio connection on gensio's event loop (GensioLoop), so the device
// answers the same way on every line.
//
// As a server it listens as a port server exports a serial port: one client at a time (a second
// is told why and closed), RFC 2217 or raw TCP; over RFC 2217 it answers every request (rate, data
// size, parity, stop size, flow control, DTR, RTS, break, purge, signature, state masks) as a
// serial port that takes them all. As a client it connects to a port a server exports. Either
// way memory stays bounded on a flood: the bridge reads from one side only while the other takes
// what it read, and the device's own kept bytes are bounded.

#include "serial/NetworkPort.h"

#include <QString>

#include <functional>
#include <memory>

class NetworkBridge {
public:
    // Tells, on gensio's thread, of clients that come, go or are refused, and of a server that
    // closed the connection. It must return at once (post the text on).
    using Notice = std::function<void(const QString&)>;

    // Listens on address (its host an IPv4 or IPv6 literal; any free port when its port is 0)
    // and serves one client at a time. Throws SerialError when it cannot listen there.
    static std::unique_ptr<NetworkBridge> listen(const NetworkPort::Address& address,
                                                 Notice notice);
    // Connects to the server at address, waiting kConnectMs at most. Throws SerialError when
    // it cannot. When the server closes the connection, the device's end reads the end of file.
    static std::unique_ptr<NetworkBridge> connect(const NetworkPort::Address& address,
                                                  Notice notice);
    static constexpr int kConnectMs = 3000;

    // Closes the connection and stops listening; waits until gensio is done with both. Never
    // call it from gensio's thread.
    ~NetworkBridge();
    NetworkBridge(const NetworkBridge&) = delete;
    NetworkBridge& operator=(const NetworkBridge&) = delete;

    // The device's end of the socket pair; the caller owns it from the first call on (-1 after).
    int takeDeviceEnd();
    // The address a client gives, with the port actually listened on, or the server's.
    NetworkPort::Address address() const;
    // True when everything the device wrote has gone to the network, or there is no client to
    // take it. Safe from any thread.
    bool delivered() const;

    struct State;

private:
    explicit NetworkBridge(std::unique_ptr<State> state);
    std::unique_ptr<State> d;
};
