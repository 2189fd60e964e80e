#pragma once
// The line of every console and command (see SerialLine): the six properties over the device
// CommPort names, opened as a local serial line. The line is always as Settings says ("38400,n,8,1"
// or "19200, n, 8, 1").

#include "serial/SerialLine.h"

#include <QByteArray>
#include <QString>

class QSerialPort;

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
