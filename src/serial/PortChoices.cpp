#include "serial/PortChoices.h"

#include "serial/PortMap.h"

#include <QSettings>

namespace {

QSettings store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("rs232c-tester"),
                     QStringLiteral("rs232c-tester"));
}

QString key(int port)
{
    return QStringLiteral("ports/com%1").arg(port);
}

} // namespace

namespace PortChoices {

void load()
{
    const QSettings settings = store();
    for (int port = 1; port <= 2; ++port)
        PortMap::setKeptDevice(port, settings.value(key(port)).toString());
}

QString keep(int port, const QString& device, const QString& byIdFolder)
{
    const QString path = PortMap::devicePath(device);
    const QString stable = path.isEmpty() ? QString() : PortCatalog::stableName(path, byIdFolder);
    const QString kept = stable.isEmpty() ? path : stable;
    QSettings settings = store();
    if (kept.isEmpty())
        settings.remove(key(port));
    else
        settings.setValue(key(port), kept);
    settings.sync();
    PortMap::setKeptDevice(port, kept);
    PortMap::setDevice(port, {});
    return kept;
}

} // namespace PortChoices
