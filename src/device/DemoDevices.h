#pragma once
// Demo mode: ports 1 and 2 are two simulated devices in this process, so the windows and the
// commands show a whole exchange with no hardware. The desktop program and the commands read the
// same three options (--demo, --demo-reply, --demo-delay) and start the devices the same way.

#include "device/SimulatedDevice.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

class QCommandLineParser;

namespace DemoDevices {

// --demo, --demo-reply MODE and --demo-delay MS.
QList<QCommandLineOption> options();

// How the devices answer, as the parsed --demo-reply and --demo-delay say. The refusal's text
// when either cannot be read or is given without --demo; empty when all is well.
QString readOptions(const QCommandLineParser& parser, SimulatedDevice::Behaviour* behaviour);
bool requested(const QCommandLineParser& parser);

// Starts the two devices and maps ports 1 and 2 to them. They must outlive every exchange on
// those ports.
std::vector<std::unique_ptr<SimulatedDevice>> start(const SimulatedDevice::Behaviour& behaviour);

} // namespace DemoDevices
