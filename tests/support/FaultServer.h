#pragma once
// A TCP server on a free loopback port that misbehaves as a network serial port can: it closes
// every connection at once, closes it after a byte of reply, never says anything, floods, or
// (Unanswering) takes no connection at all so that a client's connect hangs. Serves from a
// thread of its own until it is destroyed.

#include <QString>

#include <atomic>
#include <thread>

class FaultServer {
public:
    enum class Mode { CloseAtOnce, CloseMidReply, Mute, Flood, Unanswering };

    explicit FaultServer(Mode mode);
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    quint16 port() const { return m_port; }
    // The bytes the server sent to the latest client before it closed (Flood: so far).
    qint64 bytesSent() const { return m_sent; }

private:
    void serve();
    void handle(int client);

    Mode m_mode;
    int m_listener = -1;
    int m_stop[2] = {-1, -1};
    int m_waiting[2] = {-1, -1}; // Unanswering: the connections that fill the backlog
    quint16 m_port = 0;
    std::atomic<qint64> m_sent = 0;
    std::thread m_thread;
};
