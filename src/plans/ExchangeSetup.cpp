#include "plans/ExchangeSetup.h"

#include "codec/Codec.h"
#include "protocols/LineSettings.h"
#include "serial/PortMap.h"

#include <QStringList>

#include <algorithm>

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

namespace {

bool listed(std::span<const QLatin1String> options, QStringView option)
{
    return std::ranges::any_of(options, [option](QLatin1String name) { return name == option; });
}

} // namespace

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
    const ConsoleDescriptor& described = console(kind);
    if (listed(lineOptions(), option)) {
        if (described.fixedLine.isEmpty())
            return {};
        return QStringLiteral("the %1 console always sends on %2")
            .arg(described.name, described.fixedLine);
    }
    for (const ConsoleDescriptor& other : consoles()) {
        if (other.kind != kind && listed(other.ownOptions, option))
            return QStringLiteral("only the %1 console takes it").arg(other.name);
    }
    return {};
}

QByteArray message(const QString& text, bool hex)
{
    return hex ? codec::HexConvert(text) : codec::textToBytes(text);
}

} // namespace ExchangeChecks
