#include "commands/ExchangeSetup.h"

#include "codec/Codec.h"
#include "protocols/LineSettings.h"
#include "serial/PortMap.h"

#include <QStringList>

int ExchangeSetup::usedPort() const
{
    return request.kind == ConsoleKind::Loader ? 1 : port;
}

void ExchangeSetup::apply(ProgramState& state) const
{
    state.PortNo = QString::number(port);
    state.BaudRate = baud;
    if (!device.isEmpty())
        PortMap::setDevice(usedPort(), device);
}

namespace ExchangeChecks {

QString baud(qint64 rate)
{
    QStringList rates;
    for (const qint32 listed : kBaudRates) {
        if (listed == rate)
            return {};
        rates << QString::number(listed);
    }
    return QStringLiteral("%1 is not one of the rates %2").arg(rate).arg(rates.join(u", "));
}

QString selections(const UserDefSelections& selections, QString* option)
{
    ProgramState scratch;
    try {
        buildUserDefFrame(selections, {}, scratch);
    } catch (const SelectionError& error) {
        *option = error.field().toLower();
        return error.message();
    }
    return {};
}

QString optionOnConsole(ConsoleKind kind, QStringView option)
{
    const bool line = option == u"port" || option == u"baud";
    if (line && kind == ConsoleKind::Loader)
        return QStringLiteral("the loader console always sends on port 1 at 38400 baud");
    if (option == u"bcc" && kind != ConsoleKind::Dedicated)
        return QStringLiteral("only the dedicated console takes it");
    const bool selection =
        option == u"header" || option == u"bcc1" || option == u"tail" || option == u"bcc2";
    if (selection && kind != ConsoleKind::UserDefine)
        return QStringLiteral("only the userdef console takes it");
    return {};
}

QByteArray message(const QString& text, bool hex)
{
    return hex ? codec::HexConvert(text) : codec::textToBytes(text);
}

} // namespace ExchangeChecks
