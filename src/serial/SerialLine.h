#pragma once
// The serial layer (src/serial): the line the engine talks to (this interface) and the lines
// behind it (SerialControl over Qt Serial Port, its lock files and the few system calls Qt does
// not make; NetworkLine over gensio for ports shared on the network), which device each port
// number means and the user's kept choice, the machine's ports, and the typed errors. It uses
// only the codec (and gensio).
//
// The serial line the transaction engine talks to, in the console's own terms: a console drives
// it as CommPort, Settings, InputLen, PortOpen := true, one Output, Input once per poll,
// PortOpen := false. PortOpen := true opens the line with the Settings in force, Output writes,
// outputLeft() says when the frame has drained, Input reads, waitForInput() waits and
// PortOpen := false closes. Every failure throws SerialError.
//
// Why the seam sits here: the order of those steps is the console's behaviour, so the engine
// keeps driving it, and whatever carries the bytes only has to honour it. SerialControl is the
// line of every console and command: it keeps the properties and, at PortOpen := true, opens
// the device that CommPort names, so the device's name decides what carries the bytes (the local
// serial port, or a NetworkLine for rfc2217:// and tcp:// names) and the engine never knows. A test
// drives the engine through a line of its own where a pty cannot make the case happen.
//
// What every line promises: a freshly opened line holds no input; Output's bytes are all on the
// line before outputLeft() says none are left; a device that vanishes while open closes the line
// at once (bytes already received are still handed out by Input first, then Input throws
// Vanished).

#include "serial/SerialError.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class SerialLine : public QObject {
    Q_OBJECT

public:
    explicit SerialLine(QObject* parent = nullptr);
    ~SerialLine() override;

    // Port 1 or 2 (PortMap). Throws BadPort for an unmapped number, Io while the line is open.
    virtual void setCommPort(int port) = 0;
    // "baud,parity,data,stop", blanks around the fields allowed. Throws BadSettings when it does
    // not parse; applied at once when open (Refused when the device says no).
    virtual void setSettings(const QString& settings) = 0;
    virtual QString settings() const = 0;
    // At most this many bytes per Input (0 means everything waiting).
    virtual void setInputLen(int length) = 0;
    // true opens the device of CommPort with Settings and discards anything waiting in it;
    // false closes it. Throws NotFound, Busy, Permission, Refused or Io.
    virtual void setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;

    // Queues bytes for sending. Throws NotOpen when closed, Vanished when the device went away.
    virtual void setOutput(const QByteArray& bytes) = 0;
    // Pushes queued output on without blocking; returns how many bytes of every Output have not
    // left yet. Throws Vanished or Io when the device fails.
    virtual qint64 outputLeft() = 0;
    bool outputDrained() { return outputLeft() == 0; }

    // Removes and returns at most InputLen received bytes; empty at once when none is waiting.
    // Throws NotOpen when closed, Vanished once the device went away and nothing is left.
    virtual QByteArray input() = 0;
    // True when received bytes wait to be handed out by Input. Asks the device nothing: a byte
    // still on its way shows up through inputArrived, waitForInput or Input itself.
    virtual bool inputWaiting() const = 0;
    // Blocks at most ms milliseconds for a byte to arrive; true when one is waiting. No event
    // processing happens while it waits.
    virtual bool waitForInput(int ms) = 0;

signals:
    // A byte arrived (emitted from the event loop), or the device vanished.
    void inputArrived();
    void vanished();
};
