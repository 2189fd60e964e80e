#pragma once
// A simulated device on the far end of a pseudo-terminal pair, serving on its own thread. The
// program opens devicePath() like any serial port. It stands in for real hardware in demo mode,
// in the tests and in the benchmark, and for users in rs232c simulate, where it may also answer
// on a real serial port.
//
// In Protocol mode it answers a Loader frame (STX, text, two check digits, ETX) with ACK EOT
// when the check digits are right and NAK EOT when wrong, at once on the ETX; a Dedicated frame
// (ENQ, text, EOT, optional check digits) with ACK, or NAK when the check digits are wrong;
// anything else with NAK. Other modes answer every frame the same way, or not at all.
// A frame other than a Loader frame is complete when the line has been quiet for a few ms.
// Answer rules, when set, are tried first; the faults then spoil what the answer would be.

#include "device/AnswerRules.h"
#include "device/DeviceFaults.h"
#include "device/DeviceFrames.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class DeviceServer;

class SimulatedDevice {
public:
    enum class Mode { Protocol, Ack, Nak, Silent, Bytes };
    struct Behaviour {
        Mode mode = Mode::Protocol;
        QByteArray bytes; // the reply in Bytes mode
        int delayMs = 0;  // wait before every reply
        // The frames Protocol mode answers by their check; any other frame gets NAK.
        DeviceFrames::Consoles consoles = DeviceFrames::Consoles::Any;
    };

    // What happened on the line, as the device tells its observer.
    struct Event {
        enum class Kind {
            Frame,    // a frame was answered (or not)
            Noise,    // unasked bytes went out
            Vanished, // the device went away as its faults asked
            LineGone, // the real port failed; the device serves no more
        };
        Kind kind = Kind::Frame;
        qint64 msecsSinceEpoch = 0; // when the frame was complete, the noise or the end came
        QByteArray frame;
        int rule = -1;      // the answer rule that matched; -1 for the mode's own answer
        QString ruleName;   // the rule's name, or the mode's ("protocol", "ack", "hex", ...)
        QStringList faults; // as DeviceFaults::Outcome has them
        QByteArray reply;   // what goes out (Frame: with the faults; Noise: the noise)
        int delayMs = 0;
        int frames = 0; // Vanished: frames answered
        QString reason; // LineGone: why
    };
    // Called on the serving thread once the reply is on its way: it must return at once (post
    // the event on, never write to a terminal from it).
    using Observer = std::function<void(const Event&)>;

    SimulatedDevice();
    // Serves on the real serial port at portPath instead of a pty: 8N1, raw, no flow control,
    // holding the port's lock file and exclusive use as the consoles do. Throws SerialError when
    // the port cannot be opened or set.
    SimulatedDevice(const QString& portPath, qint32 baud);
    ~SimulatedDevice();
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    // The path the program opens (the pty's slave side); a real port's own path.
    QString devicePath() const;

    void setBehaviour(const Behaviour& behaviour);
    Behaviour behaviour() const;
    void setRules(const QList<AnswerRule>& rules);
    // Starts the faults afresh: the frame count and the random bytes start over from the seed.
    void setFaults(const DeviceFaults::Settings& faults);
    void setObserver(Observer observer);

    // "protocol", "ack", "nak", "silent" or "hex:" and the reply bytes as the hex view reads them
    // ("hex:06 04", "hex:0604"; a last lone digit is a byte of its own: "hex:6" is 06); false
    // when the text is none of these or gives no byte.
    static bool parseMode(const QString& text, Behaviour* behaviour);

    // What was received so far and the frames it was split into, for a test to look at: the
    // last kKeptBytes bytes and kKeptFrames frames, so that a device serving for days (a demo,
    // rs232c simulate) does not grow without end.
    static constexpr qsizetype kKeptBytes = 1024 * 1024;
    static constexpr qsizetype kKeptFrames = 10'000;
    QByteArray received() const;
    QList<QByteArray> frames() const;
    void clearReceived();

    // Sends bytes now, unasked (for example a reply longer than any receive window).
    void send(const QByteArray& bytes);

    // Closes the far end for good, as an unplugged adapter does (a real port: closes it).
    void vanish();

private:
    std::unique_ptr<DeviceServer> d;
};
