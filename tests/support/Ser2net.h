#pragma once
// A real ser2net, configured as labgrid's exporter configures it, on free loopback ports: an
// RFC 2217 accepter and a raw TCP one, each serving a device of its own (ser2net holds a device
// for a moment after a client leaves). Started by the constructor, ended by the destructor.
//
//     if (!Ser2net::installed())
//         QSKIP("ser2net is not installed (scripts/test installs it)");
//     Ser2net server(device.devicePath());
//     QTRY_VERIFY_WITH_TIMEOUT(server.listening(), 10000);
//     runCommand({"send", "--device", server.rfc2217Url(), "--console", "loader", "ABC"});

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <netinet/in.h>

class Ser2net {
public:
    static bool installed();

    // maxConnections 1 makes a server that refuses a second client; options are more lines of
    // each connection's options ("chardelay: false").
    Ser2net(const QString& rfc2217Device, const QString& rawDevice, int maxConnections = 10,
            const QStringList& options = {});
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // True once both accepters take connections (each call tries them once).
    bool listening() const;
    quint16 rfc2217Port() const { return m_rfc2217Port; }
    quint16 rawPort() const { return m_rawPort; }
    QString rfc2217Url() const;
    QString rawUrl() const;
    // What ser2net wrote, for a failing test's message.
    QString output();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_rfc2217Port = 0;
    quint16 m_rawPort = 0;
};

// 127.0.0.1:port as the socket calls take it.
sockaddr_in loopback(quint16 port);
// A loopback port no one listens on (bound and let go at once).
quint16 freeLoopbackPort();
// True when a TCP connection to 127.0.0.1:port is taken; the connection is closed at once.
bool acceptsConnections(quint16 port);
