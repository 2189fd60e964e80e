#pragma once
// The ways the simulated device misbehaves on purpose, for people testing how a host copes: no
// answer to every Nth frame, random bytes before each reply, wrong check digits, line noise, a
// reply that trickles out byte by byte, a device that goes away. Every random choice comes from
// the seed, so a run can be repeated.

#include <QByteArray>
#include <QStringList>

#include <random>

class DeviceFaults {
public:
    struct Settings {
        int dropEvery = 0;       // no answer to every Nth frame
        int garbage = 0;         // random bytes before each reply
        int splitMs = 0;         // a reply goes out one byte at a time, this far apart
        bool wrongCheck = false; // replies that carry check digits get wrong ones
        int noiseMs = 0;         // random unasked bytes this often
        int vanishAfter = 0;     // the device goes away after answering this many frames
        quint32 seed = 0;
    };

    // What the faults made of one frame's answer.
    struct Outcome {
        QByteArray reply;
        QStringList applied; // "drop", "wrong-check", "garbage", "split"
    };

    DeviceFaults();
    explicit DeviceFaults(const Settings& settings);

    const Settings& settings() const { return m_settings; }

    // The answer to the next frame, counting it.
    Outcome apply(const QByteArray& reply);
    // One burst of line noise: one to four random bytes.
    QByteArray noise();
    // True once the frame that makes the device go away has been answered.
    bool vanishing() const;

private:
    QByteArray randomBytes(std::mt19937& engine, int count);

    Settings m_settings;
    int m_frames = 0;
    // Apart, so that how the noise and the frames interleave in time changes neither's bytes.
    std::mt19937 m_garbageRandom;
    std::mt19937 m_noiseRandom;
};
