#include "commands/PortsCommand.h"

#include "commands/CommandParser.h"
#include "commands/ExitStatus.h"
#include "commands/Output.h"
#include "serial/PortCatalog.h"
#include "serial/SerialSystem.h"

#include <QJsonObject>

#include <algorithm>

namespace {

// Whether this user may open the device, and if not how to get there.
QString access(const QString& device)
{
    return SerialSystem::accessDenied(device)
               ? QStringLiteral("no permission: ") + SerialSystem::accessHint(device)
               : QStringLiteral("ok");
}

QJsonObject toJson(const PortInfo& port)
{
    QJsonObject object{{QStringLiteral("device"), port.device},
                       {QStringLiteral("description"), port.description},
                       {QStringLiteral("manufacturer"), port.manufacturer},
                       {QStringLiteral("serial_number"), port.serialNumber},
                       {QStringLiteral("by_id"), port.byId}};
    object.insert(QStringLiteral("usb_ids"), port.usbIds());
    object.insert(QStringLiteral("access"), access(port.device));
    return object;
}

} // namespace

int portsCommand(const QStringList& arguments)
{
    CommandParser parser(QStringLiteral("ports"),
                         QStringLiteral("Lists the serial ports of this machine: device, "
                                        "description, manufacturer, USB vendor:product ids, "
                                        "serial number, the stable /dev/serial/by-id name and "
                                        "whether this user may open it."),
                         {},
                         QStringLiteral("Exit status:\n  0   the list was printed (none found "
                                        "included)\n  64  a refused command line\n  74  standard "
                                        "output cannot be written (a full disk, a closed pipe)"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("One JSON object a line instead of a table."));
    parser.addOption(json);
    if (const std::optional<int> status = parser.parse(arguments))
        return *status;
    if (!parser.positionalArguments().isEmpty())
        return parser.refuse(QStringLiteral("ports takes no arguments."));

    const QList<PortInfo> ports = PortCatalog::availablePorts();
    if (parser.isSet(json)) {
        for (const PortInfo& port : ports)
            Output::json(toJson(port));
        return 0;
    }
    if (ports.isEmpty()) {
        Output::error(QStringLiteral("no serial ports found"));
        return 0;
    }
    const QStringList header = {QStringLiteral("DEVICE"),       QStringLiteral("DESCRIPTION"),
                                QStringLiteral("MANUFACTURER"), QStringLiteral("USB ID"),
                                QStringLiteral("SERIAL"),       QStringLiteral("BY-ID"),
                                QStringLiteral("ACCESS")};
    QList<QStringList> rows = {header};
    for (const PortInfo& port : ports)
        rows << QStringList{port.device,       port.description, port.manufacturer,  port.usbIds(),
                            port.serialNumber, port.byId,        access(port.device)};
    QList<qsizetype> widths(header.size(), 0);
    for (const QStringList& row : rows) {
        for (qsizetype column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    }
    for (const QStringList& row : rows) {
        QString text;
        for (qsizetype column = 0; column < row.size(); ++column) {
            const QString cell = row[column].isEmpty() ? QStringLiteral("-") : row[column];
            text += column + 1 < row.size() ? cell.leftJustified(widths[column] + 2) : cell;
        }
        Output::line(text);
    }
    return 0;
}
