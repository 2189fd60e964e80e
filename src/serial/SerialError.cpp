#include "serial/SerialError.h"

#include "serial/SerialSystem.h"

#include <QSerialPort>

SerialError::SerialError(Kind kind, const QString& reason)
    : std::runtime_error(reason.toStdString()), m_kind(kind), m_reason(reason)
{
}

SerialError SerialError::openFailure(const QSerialPort& port, const QString& path)
{
    const QString detail = port.errorString();
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return SerialError(Kind::NotFound, QStringLiteral("%1: %2").arg(path, detail));
    case QSerialPort::PermissionError:
        // Qt reports its lock file, an exclusive holder (EBUSY) and a denied node alike.
        if (SerialSystem::accessDenied(path))
            return SerialError(
                Kind::Permission,
                QStringLiteral("%1: %2. %3").arg(path, detail, SerialSystem::accessHint(path)));
        return SerialError(Kind::Busy,
                           QStringLiteral("%1: in use by another program (%2)").arg(path, detail));
    case QSerialPort::UnsupportedOperationError:
        return SerialError(Kind::Io,
                           QStringLiteral("%1: not a serial device (%2)").arg(path, detail));
    default:
        return SerialError(Kind::Io, QStringLiteral("%1: %2").arg(path, detail));
    }
}
