#include "serial/PortCatalog.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

QString PortInfo::usbIds() const
{
    if (!vendorId || !productId)
        return {};
    return QStringLiteral("%1:%2")
        .arg(*vendorId, 4, 16, QLatin1Char('0'))
        .arg(*productId, 4, 16, QLatin1Char('0'));
}

namespace PortCatalog {

QString deviceBehind(const QString& path)
{
    const QString device = QFileInfo(path).canonicalFilePath();
    return device.isEmpty() ? path : device;
}

QString stableName(const QString& device, const QString& byIdFolder)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QDir folder(byIdFolder);
    for (const QFileInfo& link : folder.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        if (link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    }
    return {};
}

QList<PortInfo> availablePorts(const QString& byIdFolder)
{
    QList<PortInfo> ports;
    for (const QSerialPortInfo& found : QSerialPortInfo::availablePorts()) {
        PortInfo port;
        port.device = found.systemLocation();
        port.description = found.description();
        port.manufacturer = found.manufacturer();
        if (found.hasVendorIdentifier())
            port.vendorId = found.vendorIdentifier();
        if (found.hasProductIdentifier())
            port.productId = found.productIdentifier();
        port.serialNumber = found.serialNumber();
        port.byId = stableName(port.device, byIdFolder);
        ports << port;
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return a.device < b.device; });
    return ports;
}

} // namespace PortCatalog
