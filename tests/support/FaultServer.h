#pragma once
// A TCP server on a free loopback port that misbehaves as a network serial port can: it closes
// every connection at once, closes it after a byte of reply, never says anything, floods,
// (Unanswering) takes no connection at all so that a client's connect hangs, or speaks RFC 2217
// and answers a frame with ACK EOT but keeps 9600 baud whatever is asked (KeepsItsRate) or never
// answers a setting (LeavesSettingsUnanswered). Serves from a thread of its own until it is
// destroyed.

#include <QString>

#include <atomic>
#include <thread>

class FaultServer {
public:
    enum class Mode {
        CloseAtOnce,
        CloseMidReply,
        Mute,
        Flood,
        Unanswering,
        KeepsItsRate,
        LeavesSettingsUnanswered
    };

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
    void speakRfc2217(int client);

    Mode m_mode;
    int m_listener = -1;
    int m_stop[2] = {-1, -1};
    int m_waiting[2] = {-1, -1}; // Unanswering: the connections that fill the backlog
    quint16 m_port = 0;
    std::atomic<qint64> m_sent = 0;
    std::thread m_thread;
};
