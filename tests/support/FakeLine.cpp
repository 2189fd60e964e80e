#include "FakeLine.h"

void FakeLine::arrive(const QByteArray& bytes)
{
    m_pending += bytes;
    emit inputArrived();
}

void FakeLine::setCommPort(int port)
{
    if (port != 1 && port != 2)
        throw SerialError(SerialError::Kind::BadPort,
                          QStringLiteral("port %1 has no device").arg(port));
    m_calls << QStringLiteral("CommPort %1").arg(port);
}

void FakeLine::setSettings(const QString& settings)
{
    m_settings = settings;
    m_calls << QStringLiteral("Settings %1").arg(settings);
}

void FakeLine::setInputLen(int length)
{
    m_inputLen = length;
    m_calls << QStringLiteral("InputLen %1").arg(length);
}

void FakeLine::setPortOpen(bool open)
{
    m_pending.clear();
    m_open = open;
    m_calls << QStringLiteral("PortOpen %1").arg(open ? "true" : "false");
}

void FakeLine::setOutput(const QByteArray& bytes)
{
    requireOpen();
    m_written += bytes;
    m_calls << QStringLiteral("Output %1").arg(QString::fromLatin1(bytes.toHex()));
}

qint64 FakeLine::outputLeft()
{
    requireOpen();
    return m_outputLeft;
}

QByteArray FakeLine::input()
{
    requireOpen();
    m_calls << QStringLiteral("Input");
    const QByteArray chunk = m_inputLen > 0 ? m_pending.left(m_inputLen) : m_pending;
    m_pending.remove(0, chunk.size());
    return chunk;
}

void FakeLine::requireOpen() const
{
    if (!m_open)
        throw SerialError(SerialError::Kind::NotOpen, QStringLiteral("the port is not open"));
}
