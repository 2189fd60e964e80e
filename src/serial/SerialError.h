#pragma once
// A failure of the serial control, with a reason a person can read. An empty read is never one.

#include <QString>

#include <stdexcept>

class QSerialPort;

class SerialError : public std::runtime_error {
public:
    enum class Kind {
        BadPort,     // a port number with no device mapped to it
        BadSettings, // a settings text that does not parse
        NotFound,    // no such device
        Busy,        // another program (or control) holds the device
        Permission,  // no permission to open the device
        Refused,     // the device refused a setting (rate, data bits, ...)
        NotOpen,     // Output or Input while the port is closed
        Vanished,    // the device went away while open (adapter unplugged, far end closed)
        Io,          // any other failure of the device
    };

    SerialError(Kind kind, const QString& reason);
    // Why port could not open the device at path, as Qt reported it.
    static SerialError openFailure(const QSerialPort& port, const QString& path);

    Kind kind() const { return m_kind; }
    QString reason() const { return m_reason; }

private:
    Kind m_kind;
    QString m_reason;
};
