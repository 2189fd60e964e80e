#pragma once
// The pty the monitor offers the host program in place of the device: the monitor holds its
// master end, raw and non-blocking, and never opens the host's end, so that a host closing it is
// seen as a hang-up and the host may open it again.
//
// What a pty lets the monitor see of the host's settings: the termios the host sets on its end
// (speed as a number, data bits, parity, stop bits), read back through the master. Modem lines,
// a break and flow control do not cross a pty.

#include <QString>

#include <optional>

class HostPty {
public:
    HostPty() = default;
    ~HostPty();
    HostPty(const HostPty&) = delete;
    HostPty& operator=(const HostPty&) = delete;

    // Opens a raw pty at 38400,n,8,1; empty when done, else why not.
    QString open();
    int handle() const { return m_master; }
    // The host's end, as the system names it (/dev/pts/5).
    QString path() const { return m_path; }

    // The settings the host's end is at now, as a line's Settings ("19200,e,7,1").
    std::optional<QString> settings() const;
    // True while no program holds the host's end open.
    bool hungUp() const;

private:
    int m_master = -1;
    QString m_path;
};
