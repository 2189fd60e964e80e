#pragma once
// The serial layer (src/serial): the local line (this serial control over Qt Serial Port, its
// lock files and the few system calls Qt does not make), which device each port number means and
// the user's kept choice, the machine's ports, and the typed errors. It uses only the codec.
//
// The serial control each console drives, one per console window. The consoles use six
// properties in a fixed order: CommPort, Settings, InputLen, PortOpen := true, one Output,
// Input once per poll, PortOpen := false. Every failure throws SerialError.
//
// The line is always as Settings says ("38400,n,8,1" or "19200, n, 8, 1"); a freshly opened
// port holds no input; Output's bytes are all on the line before outputLeft() says none are left;
// a device that vanishes while open closes the port at once (bytes already received are still
// handed out by Input first, then Input throws Vanished).

#include "serial/SerialError.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;

class SerialControl : public QObject {
    Q_OBJECT

public:
    // initialSettings: what the port uses when the console never assigns Settings.
    explicit SerialControl(const QString& initialSettings = QStringLiteral("9600,n,8,1"),
                           QObject* parent = nullptr);
    ~SerialControl() override;

    // Port 1 or 2 (PortMap). Throws BadPort for an unmapped number, Io while the port is open.
    void setCommPort(int port);
    int commPort() const { return m_commPort; }

    // "baud,parity,data,stop", blanks around the fields allowed. Throws BadSettings when it does
    // not parse; applied at once when open (Refused when the device says no).
    void setSettings(const QString& settings);
    QString settings() const { return m_settings; }

    // At most this many bytes per Input (0 means everything waiting).
    void setInputLen(int length);

    // true opens the device of CommPort with Settings and discards anything waiting in it;
    // false closes it. Throws NotFound, Busy, Permission, Refused or Io.
    void setPortOpen(bool open);
    bool portOpen() const;

    // Queues bytes for sending. Throws NotOpen when closed, Vanished when the device went away.
    void setOutput(const QByteArray& bytes);

    // Removes and returns at most InputLen received bytes; empty at once when none is waiting.
    // Throws NotOpen when closed, Vanished once the device went away and nothing is left.
    QByteArray input();

    // True when received bytes wait to be handed out by Input. Asks the device nothing: a byte
    // still in the driver shows up through inputArrived, waitForInput or Input itself.
    bool inputWaiting() const;
    // Blocks at most ms milliseconds for a byte to arrive; true when one is waiting. No event
    // processing happens while it waits.
    bool waitForInput(int ms);
    // Pushes queued output to the device without blocking; returns how many bytes of every
    // Output have not left the port yet (the program's own buffer and the driver's queue).
    // Throws Vanished or Io when the device fails.
    qint64 outputLeft();
    bool outputDrained() { return outputLeft() == 0; }

signals:
    // A byte arrived (emitted from the event loop), or the device vanished.
    void inputArrived();
    void vanished();

private:
    void applySettings();
    void deviceFailed(const QString& reason);
    void takeWaitingInput();
    void waitForDevice(int ms);
    void requireUsable() const;
    void openPort();
    void closePort();

    QSerialPort* m_port;
    int m_commPort = 1;
    QString m_settings;
    int m_inputLen = 0;
    QByteArray m_pending;     // received bytes not yet handed out by Input
    QString m_vanishedReason; // set once the device went away while open
    QString m_devicePath;     // the device of the latest open, for the reasons of failures
    bool m_waiting = false;   // inside a blocking wait: readyRead is not news for the event loop
};
