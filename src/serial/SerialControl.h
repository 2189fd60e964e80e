#pragma once
// The line of every console and command (see SerialLine): the six properties over the device
// CommPort names, opened as a local serial line, or as a NetworkLine when the device is a
// network name (rfc2217://HOST:PORT, tcp://HOST:PORT). The line is always as Settings says
// ("38400,n,8,1" or "19200, n, 8, 1").

#include "serial/SerialLine.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class NetworkLine;
class QSerialPort;
class QSocketNotifier;

class SerialControl : public SerialLine {
    Q_OBJECT

public:
    // initialSettings: what the port uses when the console never assigns Settings.
    explicit SerialControl(const QString& initialSettings = QStringLiteral("9600,n,8,1"),
                           QObject* parent = nullptr);
    ~SerialControl() override;

    void setCommPort(int port) override;
    int commPort() const { return m_commPort; }
    void setSettings(const QString& settings) override;
    QString settings() const override { return m_settings; }
    void setInputLen(int length) override;
    void setPortOpen(bool open) override;
    bool portOpen() const override;
    void setOutput(const QByteArray& bytes) override;
    qint64 outputLeft() override;
    QByteArray input() override;
    bool inputWaiting() const override;
    bool waitForInput(int ms) override;

    // The line-state notices of the latest open ("framing", "parity", "overrun", "break"), kept
    // after the close; a network server sends them, a local line has none.
    QStringList lineState() const;
    // What the line has to say about the device once (see NetworkLine::takeNotices).
    QStringList takeNotices();

private:
    void applySettings();
    void deviceFailed(const QString& reason);
    void takeWaitingInput();
    void pushOutput();
    void dropOutput();
    void waitForDevice(int ms);
    void requireUsable() const;
    void openPort();
    void closePort();

    QSerialPort* m_port;
    NetworkLine* m_network;
    bool m_overNetwork = false; // the latest open went to a network name
    int m_commPort = 1;
    QString m_settings;
    int m_inputLen = 0;
    QSocketNotifier* m_writable = nullptr; // on while m_output waits for room in the driver
    QByteArray m_output;                   // bytes of Output the driver has not taken yet
    QByteArray m_pending;                  // received bytes not yet handed out by Input
    QString m_vanishedReason;              // set once the device went away while open
    QString m_devicePath;   // the device of the latest open, for the reasons of failures
    bool m_waiting = false; // inside a blocking wait: readyRead is not news for the event loop
};
