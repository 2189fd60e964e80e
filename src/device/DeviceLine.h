#pragma once
// The simulated device's end of the line: the master of a pseudo-terminal whose device side the
// program opens, a real serial port with an adapter looped to the program's port, or the
// device's end of a NetworkBridge. The device's serving thread polls, reads and writes handle()
// itself.

#include <QString>

#include <memory>

class NetworkBridge;
class QSerialPort;

class DeviceLine {
public:
    DeviceLine();
    ~DeviceLine();
    DeviceLine(const DeviceLine&) = delete;
    DeviceLine& operator=(const DeviceLine&) = delete;

    // A raw pty; path() is its device side. Throws SerialError.
    void openPty();
    // The real port at path, 8N1, raw, no flow control, holding its lock file and exclusive use
    // as the consoles do. Call it on the thread that serves and closes the line: the port is a
    // Qt object of that thread. Throws SerialError.
    void openPort(const QString& path, qint32 baud);

    // The device's end of bridge; path() is the address a client gives (rfc2217://HOST:PORT).
    void openNetwork(std::unique_ptr<NetworkBridge> bridge);

    // -1 once closed.
    int handle() const { return m_handle; }
    QString path() const { return m_path; }
    bool isPort() const { return m_port != nullptr; }
    // True when the program has taken everything sent to it, or the line cannot tell.
    bool programHasAll() const;
    // For good: the program sees a hang-up; a real port is unlocked; a network client is
    // disconnected and nobody more is listened for.
    void close();

private:
    int m_handle = -1;
    int m_slave = -1; // pty: kept open so the master never sees a hang-up and the line stays raw
    std::unique_ptr<QSerialPort> m_port;
    std::unique_ptr<NetworkBridge> m_bridge;
    QString m_path;
};
