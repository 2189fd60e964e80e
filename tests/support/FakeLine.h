#pragma once
// A line the test drives, for the engine's cases a pty cannot make happen on time: bytes arrive
// when the test says, waits return at once, and the output leaves as fast as the test lets it.
// It keeps the promises of every line (a fresh open holds no input, Input hands out at most
// InputLen bytes) and writes down each call the engine makes.

#include "serial/SerialLine.h"

#include <QStringList>

class FakeLine final : public SerialLine {
public:
    // The engine's calls in order: "CommPort 1", "Settings 9600,n,8,1", "InputLen 1",
    // "PortOpen true", "Output 0541424304" (in hex), "Input" (once per read), "PortOpen false".
    QStringList calls() const { return m_calls; }
    // Bytes from the device, waiting for Input.
    void arrive(const QByteArray& bytes);
    // How many bytes of the output have not left yet (none unless the test says so).
    void setOutputLeft(qint64 left) { m_outputLeft = left; }
    QByteArray written() const { return m_written; }

    void setCommPort(int port) override;
    void setSettings(const QString& settings) override;
    QString settings() const override { return m_settings; }
    void setInputLen(int length) override;
    void setPortOpen(bool open) override;
    bool portOpen() const override { return m_open; }
    void setOutput(const QByteArray& bytes) override;
    qint64 outputLeft() override;
    QByteArray input() override;
    bool inputWaiting() const override { return !m_pending.isEmpty(); }
    bool waitForInput(int) override { return inputWaiting(); }

private:
    void requireOpen() const;

    QStringList m_calls;
    QString m_settings = QStringLiteral("9600,n,8,1");
    int m_inputLen = 0;
    bool m_open = false;
    QByteArray m_pending;
    QByteArray m_written;
    qint64 m_outputLeft = 0;
};
