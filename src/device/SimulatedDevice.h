#pragma once
// The device layer (src/device): the simulated device that plays the far end of the line (its
// frames, answer rules, faults, reply schedule, line and serving thread) and the demo's two
// devices. It uses only the codec and the serial layer, never the engine; the commands and the
// desktop program start it.
//
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
// Answer rules, when set up, are tried first; the faults then spoil what the answer would be.
// The device is set up (DeviceSetup) before its serving thread starts; this class is its face,
// DeviceServer the thread behind it.

#include "device/DeviceSetup.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class DeviceServer;
class NetworkBridge;

class SimulatedDevice {
public:
    using Mode = DeviceBehaviour::Mode;
    using Behaviour = DeviceBehaviour;
    using Event = DeviceEvent;
    using Observer = DeviceObserver;

    // Set up as setup says before it starts serving.
    explicit SimulatedDevice(const DeviceSetup& setup = {});
    // Serves on the real serial port at portPath instead of a pty: 8N1, raw, no flow control,
    // holding the port's lock file and exclusive use as the consoles do. Throws SerialError when
    // the port cannot be opened or set.
    SimulatedDevice(const QString& portPath, qint32 baud, const DeviceSetup& setup = {});
    // Serves over the network through bridge, as a server for one client at a time or as the
    // client of a port a server exports.
    SimulatedDevice(std::unique_ptr<NetworkBridge> bridge, const DeviceSetup& setup = {});
    ~SimulatedDevice();
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    // The path the program opens (the pty's slave side); a real port's own path; over the
    // network, the address a client gives (rfc2217://127.0.0.1:PORT).
    QString devicePath() const;

    // A test changes how the device answers, or who hears of it, between its exchanges.
    void setBehaviour(const Behaviour& behaviour);
    Behaviour behaviour() const;
    void setObserver(Observer observer);

    // "protocol", "ack", "nak", "silent" or "hex:" and the reply bytes as the hex view reads them
    // ("hex:06 04", "hex:0604"; a last lone digit is a byte of its own: "hex:6" is 06); false
    // when the text is none of these or gives no byte.
    static bool parseMode(const QString& text, Behaviour* behaviour);

    // What was received so far and the frames it was split into, for a test to look at: the
    // last kKeptBytes bytes and kKeptFrames frames (kKeptBytes together at most), so that a
    // device serving for days (a demo, rs232c simulate) or flooded does not grow without end.
    static constexpr qsizetype kKeptBytes = kDeviceKeptBytes;
    static constexpr qsizetype kKeptFrames = kDeviceKeptFrames;
    // The most a frame holds (its first bytes) when a flood never lets it end.
    static constexpr qsizetype kFrameBytes = kDeviceFrameBytes;
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
