#include "device/DemoDevices.h"

#include "codec/WholeNumber.h"
#include "device/AnswerRules.h"
#include "serial/PortMap.h"

#include <QCommandLineParser>

namespace {

const QString kDemo = QStringLiteral("demo");
const QString kReply = QStringLiteral("demo-reply");
const QString kDelay = QStringLiteral("demo-delay");

} // namespace

namespace DemoDevices {

QList<QCommandLineOption> options()
{
    return {
        QCommandLineOption(kDemo, QStringLiteral("Ports 1 and 2 are simulated devices, so no "
                                                 "hardware is needed.")),
        QCommandLineOption(kReply,
                           QStringLiteral("How the demo devices answer: protocol (checks each "
                                          "frame, the default), ack, nak, silent, or hex:XX.. "
                                          "for fixed reply bytes."),
                           QStringLiteral("mode")),
        QCommandLineOption(kDelay,
                           QStringLiteral("Milliseconds the demo devices wait before each reply."),
                           QStringLiteral("ms")),
    };
}

bool requested(const QCommandLineParser& parser)
{
    return parser.isSet(kDemo);
}

QString readOptions(const QCommandLineParser& parser, SimulatedDevice::Behaviour* behaviour)
{
    if (!parser.isSet(kDemo) && (parser.isSet(kReply) || parser.isSet(kDelay)))
        return QStringLiteral("--demo-reply and --demo-delay need --demo.");
    if (parser.isSet(kReply)) {
        const QString mode = parser.value(kReply);
        if (!SimulatedDevice::parseMode(mode, behaviour))
            return QStringLiteral("Unknown demo reply '%1': give protocol, ack, nak, silent or "
                                  "hex: followed by hex digit pairs.")
                .arg(mode);
    }
    if (parser.isSet(kDelay)) {
        const WholeNumber limits{0, AnswerRules::kMaxDelayMs};
        const QString delay = parser.value(kDelay);
        const std::optional<qint64> ms = limits.read(delay);
        if (!ms)
            return QStringLiteral("--demo-delay: %1.").arg(limits.refusal(delay));
        behaviour->delayMs = int(*ms);
    }
    return {};
}

std::vector<std::unique_ptr<SimulatedDevice>> start(const SimulatedDevice::Behaviour& behaviour)
{
    std::vector<std::unique_ptr<SimulatedDevice>> devices;
    for (int port = 1; port <= 2; ++port) {
        devices.push_back(std::make_unique<SimulatedDevice>(DeviceSetup{behaviour}));
        PortMap::setDevice(port, devices.back()->devicePath());
    }
    return devices;
}

} // namespace DemoDevices
