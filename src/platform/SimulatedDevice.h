#pragma once
// A simulated device on the far end of a pseudo-terminal pair, serving on its own thread. The
// program opens devicePath() like any serial port. It stands in for real hardware in demo mode,
// in the tests and in the benchmark.
//
// In Protocol mode it answers a Loader frame (STX, text, two check digits, ETX) with ACK EOT
// when the check digits are right and NAK EOT when wrong, at once on the ETX; a Dedicated frame
// (ENQ, text, EOT, optional check digits) with ACK, or NAK when the check digits are wrong;
// anything else with NAK. Other modes answer every frame the same way, or not at all.
// A frame other than a Loader frame is complete when the line has been quiet for a few ms.

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class SimulatedDevice {
public:
    enum class Mode { Protocol, Ack, Nak, Silent, Bytes };
    struct Behaviour {
        Mode mode = Mode::Protocol;
        QByteArray bytes; // the reply in Bytes mode
        int delayMs = 0;  // wait before every reply
    };

    SimulatedDevice();
    ~SimulatedDevice();
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    // The path the program opens (the pty's slave side).
    QString devicePath() const;

    void setBehaviour(const Behaviour& behaviour);
    Behaviour behaviour() const;

    // "protocol", "ack", "nak", "silent" or "hex:0604..." (the reply bytes); false when the text
    // is none of these.
    static bool parseMode(const QString& text, Behaviour* behaviour);

    // Everything received so far, and the frames it was split into.
    QByteArray received() const;
    QList<QByteArray> frames() const;
    void clearReceived();

    // Sends bytes now, unasked (for example a reply longer than any receive window).
    void send(const QByteArray& bytes);

    // Closes the far end for good, as an unplugged adapter does.
    void vanish();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
