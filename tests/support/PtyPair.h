#pragma once
// A raw pseudo-terminal pair for tests that play the far end of the serial line by hand: the
// program opens devicePath(), the test reads and writes the other end.

#include <QByteArray>
#include <QString>

// What the program set on the line, as the far end sees it.
struct LineState {
    quint32 speed = 0;
    int dataBits = 0;
    char parity = '?'; // N, E, O, M or S
    bool twoStopBits = false;
    bool hardwareFlow = false;
    bool softwareFlow = false;

    // "8N1 at 38400"; a set two-stop-bit flag shows as 2.
    QString summary() const;
};

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    QString devicePath() const { return m_path; }
    // The pair's own descriptor of the device side, kept open so the far end never sees a
    // hang-up when the program closes the port.
    int deviceHandle() const { return m_device; }
    // The far end's descriptor (non-blocking), for a test that plays the device from a thread.
    int farEndHandle() const { return m_farEnd; }

    void write(const QByteArray& bytes);
    // Reads until count bytes have come or timeoutMs has passed; returns what came.
    QByteArray read(qsizetype count, int timeoutMs);
    // Closes the far end for good, as an unplugged cable does.
    void closeFarEnd();
    LineState lineState() const;
    // Whether the device side takes this format through plain termios and keeps it (some
    // kernels refuse or ignore data bits and parity on a pty). Leaves the line raw 8N1.
    bool takes(int dataBits, char parity, bool twoStopBits);

private:
    int m_farEnd = -1;
    int m_device = -1;
    QString m_path;
};

// Writes all of bytes to fd, and reads from fd until count bytes or timeoutMs (any descriptor).
void writeAll(int fd, const QByteArray& bytes);
QByteArray readFor(int fd, qsizetype count, int timeoutMs);
