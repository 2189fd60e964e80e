#pragma once
// A serial port reached over the network (see NetworkPort): SerialControl opens one of these
// instead of a local device when CommPort names rfc2217://HOST:PORT or tcp://HOST:PORT, and
// keeps every promise of SerialLine with it.
//
// gensio carries the bytes, on its own event loop thread (GensioLoop): opening only starts the
// connection, so no window waits for the network. Output queued meanwhile counts as not yet
// left, and a connection that fails or takes longer than kConnectLimit fails the next call. The
// bytes that came before the frame was handed over are dropped: a fresh line holds no input,
// whatever the device said while nobody listened. Over RFC 2217 the settings go to the server
// on every open, and a purge of its buffers; the server's answers are believed when they come
// (a rate it refuses or changes fails the exchange, as a local device's refusal does), but
// nothing waits for them: a server that never answers is noted once. The server's line-state
// notices (framing, parity, overrun errors, break) are kept until the next open.

#include "serial/NetworkPort.h"
#include "serial/SerialError.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

class NetworkLine : public QObject {
    Q_OBJECT

public:
    // How long a connection may take before the line gives up on it.
    static constexpr std::chrono::seconds kConnectLimit{3};
    // What is taken off the network ahead of Input; past this the bytes wait in the socket and
    // the server, so a flood cannot fill memory.
    static constexpr qsizetype kReceiveLimit = 4096;

    struct LineSettings {
        int baud = 9600;
        int dataBits = 8;
        char parity = 'N'; // N, O, E, M or S
        bool oneAndHalf = false;
        bool twoStopBits = false;
    };

    explicit NetworkLine(QObject* parent = nullptr);
    ~NetworkLine() override;

    // Starts connecting to address; the settings go to an RFC 2217 server once it is connected.
    // Throws Io when gensio cannot make the connection at all.
    void open(const NetworkPort::Address& address, const QString& settingsText,
              const LineSettings& settings);
    // Sends new settings to an open RFC 2217 line.
    void applySettings(const QString& settingsText, const LineSettings& settings);
    void close();
    bool isOpen() const { return m_link != nullptr; }

    void write(const QByteArray& bytes);
    qint64 outputLeft();
    // At most max bytes (0: all) of what arrived; empty when none waits. Throws Vanished once the
    // connection ended and nothing is left.
    QByteArray take(qsizetype max);
    bool waiting() const;
    bool waitForInput(int ms);

    // The server's line-state notices since the latest open: "framing", "parity", "overrun",
    // "break".
    QStringList lineState() const;
    // What the line has to say once about the server (settings that are the server's, settings it
    // does not confirm); each says itself once in the life of the line.
    QStringList takeNotices();

    struct Link;

signals:
    void inputArrived();
    void vanished();

private:
    // Throws the link's failure, if any; a Vanished one only once nothing is left to read.
    void requireUsable(bool readable) const;
    void note(const QString& notice);

    std::shared_ptr<Link> m_link;
    std::shared_ptr<Link> m_closing; // the previous connection, until gensio has closed it
    unsigned m_lineState = 0;        // the notices of the latest connection, once it is closed
    QStringList m_notices;
    QSet<QString> m_said;
};
