#pragma once
// What a simulated device is set up with before it starts serving: how it answers (its mode and
// behaviour, its answer rules), the faults that spoil its answers, and the observer it tells of
// what happened on the line.

#include "device/AnswerRules.h"
#include "device/DeviceFaults.h"
#include "device/DeviceFrames.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct DeviceBehaviour {
    enum class Mode { Protocol, Ack, Nak, Silent, Bytes };
    Mode mode = Mode::Protocol;
    QByteArray bytes; // the reply in Bytes mode
    int delayMs = 0;  // wait before every reply
    // The frames Protocol mode answers by their check; any other frame gets NAK.
    DeviceFrames::Consoles consoles = DeviceFrames::Consoles::Any;
};

// What happened on the line, as the device tells its observer.
struct DeviceEvent {
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

// Called on the serving thread once the reply is on its way: it must return at once (post the
// event on, never write to a terminal from it).
using DeviceObserver = std::function<void(const DeviceEvent&)>;

// How much of what it received a device keeps for a test to look at: the last bytes, and the last
// frames up to as many bytes together, so that a device serving for days (a demo, rs232c
// simulate) or flooded does not grow without end.
inline constexpr qsizetype kDeviceKeptBytes = 1024 * 1024;
inline constexpr qsizetype kDeviceKeptFrames = 10'000;
// A frame that never ends (a flood with no quiet in it) is kept up to this many bytes; the rest
// is dropped, though an ETX still ends a Loader frame. As many as the device keeps of what it
// received, so that a long message typed in a console (the benchmark sends 120,000 bytes) is
// still one whole frame, answered by its check.
inline constexpr qsizetype kDeviceFrameBytes = kDeviceKeptBytes;

struct DeviceSetup {
    DeviceBehaviour behaviour;
    QList<AnswerRule> rules; // tried before the mode's own answer
    DeviceFaults::Settings faults;
    DeviceObserver observer;
};
