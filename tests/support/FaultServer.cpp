#include "FaultServer.h"
#include "Ser2net.h"

#include <QByteArray>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <initializer_list>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Waits for fd to be readable or the stop pipe to be; false on stop.
bool readable(int fd, int stop)
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop, POLLIN, 0}};
    while (::poll(fds, 2, -1) < 0) {
    }
    return !(fds[1].revents & POLLIN);
}

QByteArray bytesOf(std::initializer_list<unsigned char> values)
{
    QByteArray bytes;
    for (unsigned char value : values)
        bytes += char(value);
    return bytes;
}

} // namespace

FaultServer::FaultServer(Mode mode) : m_mode(mode)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    if (mode == Mode::Unanswering) {
        // A backlog of none, filled by connections nobody accepts: the kernel drops every
        // further SYN, so a client's connect waits as it would for a host that is down.
        ::listen(m_listener, 0);
        const sockaddr_in target = loopback(m_port);
        for (int& fd : m_waiting) {
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target);
        }
        return;
    }
    ::listen(m_listener, 4);
    if (::pipe2(m_stop, O_CLOEXEC) != 0)
        return;
    m_thread = std::thread([this] { serve(); });
}

FaultServer::~FaultServer()
{
    if (m_thread.joinable()) {
        const char stop = 0;
        (void)::write(m_stop[1], &stop, 1);
        m_thread.join();
    }
    for (int fd : {m_listener, m_stop[0], m_stop[1], m_waiting[0], m_waiting[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void FaultServer::serve()
{
    while (readable(m_listener, m_stop[0])) {
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            continue;
        handle(client);
        ::close(client);
    }
}

void FaultServer::handle(int client)
{
    m_sent = 0;
    char buffer[512];
    switch (m_mode) {
    case Mode::CloseAtOnce:
    case Mode::Unanswering:
        return;
    case Mode::CloseMidReply:
        // The frame's last byte (ETX) is in: one byte of an answer, then the connection ends.
        while (readable(client, m_stop[0])) {
            const ssize_t got = ::read(client, buffer, sizeof buffer);
            if (got <= 0)
                return;
            if (std::find(buffer, buffer + got, '\x03') != buffer + got) {
                m_sent += ::send(client, "\x06", 1, MSG_NOSIGNAL);
                return;
            }
        }
        return;
    case Mode::KeepsItsRate:
    case Mode::LeavesSettingsUnanswered:
        speakRfc2217(client);
        return;
    case Mode::Mute:
        while (readable(client, m_stop[0]) && ::read(client, buffer, sizeof buffer) > 0) {
        }
        return;
    case Mode::Flood: {
        ::fcntl(client, F_SETFL, O_NONBLOCK);
        const QByteArray flood(4096, 'F');
        for (;;) {
            pollfd fds[2] = {{client, POLLOUT | POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            ::poll(fds, 2, -1);
            if (fds[1].revents & POLLIN)
                return;
            if (fds[0].revents & POLLIN && ::read(client, buffer, sizeof buffer) == 0)
                return;
            if (fds[0].revents & (POLLERR | POLLHUP))
                return;
            const ssize_t sent = ::send(client, flood.constData(), flood.size(), MSG_NOSIGNAL);
            if (sent > 0)
                m_sent += sent;
            else if (errno != EAGAIN)
                return;
        }
    }
    }
}

// Just enough of a telnet RFC 2217 server: every option the client offers is taken, a setting
// is confirmed with the value it keeps (or never), and a frame's ETX gets ACK EOT.
void FaultServer::speakRfc2217(int client)
{
    constexpr unsigned char kIac = 255, kSb = 250, kSe = 240, kWill = 251, kWont = 252, kDo = 253,
                            kComPort = 44, kSetBaudrate = 1, kSetStopSize = 4, kServerOffset = 100;
    const auto sendBytes = [&](const QByteArray& bytes) {
        m_sent += ::send(client, bytes.constData(), bytes.size(), MSG_NOSIGNAL);
    };
    enum { Data, Command, Option, Sub, SubIac } state = Data;
    unsigned char verb = 0;
    QByteArray sub;
    char buffer[512];
    while (readable(client, m_stop[0])) {
        const ssize_t got = ::read(client, buffer, sizeof buffer);
        if (got <= 0)
            return;
        for (ssize_t i = 0; i < got; ++i) {
            const auto byte = static_cast<unsigned char>(buffer[i]);
            switch (state) {
            case Data:
                if (byte == kIac)
                    state = Command;
                else if (byte == 0x03)
                    sendBytes(QByteArray("\x06\x04"));
                break;
            case Command:
                verb = byte;
                state = byte == kSb ? Sub : byte >= kWill ? Option : Data;
                sub.clear();
                break;
            case Option: {
                // WILL x gets DO x; DO x gets WILL x for the com port and binary, else WONT.
                const unsigned char answer = verb == kWill ? kDo
                                             : verb == kDo
                                                 ? (byte == kComPort || byte == 0 ? kWill : kWont)
                                                 : 0;
                if (answer != 0)
                    sendBytes(bytesOf({kIac, answer, byte}));
                state = Data;
                break;
            }
            case Sub:
                if (byte == kIac)
                    state = SubIac;
                else
                    sub += char(byte);
                break;
            case SubIac:
                if (byte != kSe) {
                    sub += char(byte);
                    state = Sub;
                    break;
                }
                state = Data;
                // Only the line's format is answered: rate, data bits, parity, stop bits.
                if (m_mode == Mode::LeavesSettingsUnanswered || sub.size() < 3 ||
                    static_cast<unsigned char>(sub[0]) != kComPort ||
                    static_cast<unsigned char>(sub[1]) > kSetStopSize)
                    break;
                QByteArray answer = sub;
                answer[1] = char(static_cast<unsigned char>(sub[1]) + kServerOffset);
                if (static_cast<unsigned char>(sub[1]) == kSetBaudrate)
                    answer = QByteArray("\x2c") + char(kSetBaudrate + kServerOffset) +
                             QByteArray("\x00\x00\x25\x80", 4); // 9600
                sendBytes(bytesOf({kIac, kSb}) + answer + bytesOf({kIac, kSe}));
                break;
            }
        }
    }
}
