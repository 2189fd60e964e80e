#pragma once
// The serial ports of the machine as Qt Serial Port finds them, each with the stable name udev
// gives it under /dev/serial/by-id (which follows an adapter from one USB socket to another).

#include <QList>
#include <QString>

#include <optional>

struct PortInfo {
    QString device;      // /dev/ttyUSB0
    QString description; // as the adapter names itself
    QString manufacturer;
    std::optional<quint16> vendorId; // USB ids, where the port has them
    std::optional<quint16> productId;
    QString serialNumber;
    QString byId; // /dev/serial/by-id/usb-..., empty when there is none

    // "0403:6001", empty without USB ids.
    QString usbIds() const;
};

namespace PortCatalog {

// The folder of the stable names; tests point it elsewhere.
inline constexpr char kByIdFolder[] = "/dev/serial/by-id";

// Every port the system lists, sorted by device path.
QList<PortInfo> availablePorts(const QString& byIdFolder = QString::fromLatin1(kByIdFolder));

// The device a path leads to, links followed; the path itself when it leads nowhere. Opening a
// device by this name makes the lock file carry the name every other program locks it by.
QString deviceBehind(const QString& path);

// The stable name in byIdFolder that leads to device (itself a path or a link), empty when none.
QString stableName(const QString& device,
                   const QString& byIdFolder = QString::fromLatin1(kByIdFolder));

} // namespace PortCatalog
