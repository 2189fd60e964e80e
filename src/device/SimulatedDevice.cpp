#include "device/SimulatedDevice.h"

#include "codec/Codec.h"
#include "device/DeviceServer.h"
#include "device/NetworkBridge.h"

SimulatedDevice::SimulatedDevice(const DeviceSetup& setup)
    : d(std::make_unique<DeviceServer>(setup))
{
}

SimulatedDevice::SimulatedDevice(const QString& portPath, qint32 baud, const DeviceSetup& setup)
    : d(std::make_unique<DeviceServer>(portPath, baud, setup))
{
}

SimulatedDevice::SimulatedDevice(std::unique_ptr<NetworkBridge> bridge, const DeviceSetup& setup)
    : d(std::make_unique<DeviceServer>(std::move(bridge), setup))
{
}

SimulatedDevice::~SimulatedDevice() = default;

QString SimulatedDevice::devicePath() const
{
    return d->path();
}

void SimulatedDevice::setBehaviour(const Behaviour& behaviour)
{
    d->setBehaviour(behaviour);
}

SimulatedDevice::Behaviour SimulatedDevice::behaviour() const
{
    return d->behaviour();
}

void SimulatedDevice::setObserver(Observer observer)
{
    d->setObserver(std::move(observer));
}

// Sets mode and bytes; the delay stays as the caller had it.
bool SimulatedDevice::parseMode(const QString& text, Behaviour* behaviour)
{
    const QString mode = text.trimmed().toLower();
    if (mode == QLatin1String("protocol")) {
        behaviour->mode = Mode::Protocol;
    } else if (mode == QLatin1String("ack")) {
        behaviour->mode = Mode::Ack;
    } else if (mode == QLatin1String("nak")) {
        behaviour->mode = Mode::Nak;
    } else if (mode == QLatin1String("silent")) {
        behaviour->mode = Mode::Silent;
    } else if (mode.startsWith(QLatin1String("hex:"))) {
        QByteArray bytes;
        try {
            bytes = codec::HexConvert(QStringView(mode).sliced(4));
        } catch (const codec::CodecError&) {
            return false;
        }
        if (bytes.isEmpty())
            return false;
        behaviour->mode = Mode::Bytes;
        behaviour->bytes = bytes;
        return true;
    } else {
        return false;
    }
    behaviour->bytes.clear();
    return true;
}

QByteArray SimulatedDevice::received() const
{
    return d->received();
}

QList<QByteArray> SimulatedDevice::frames() const
{
    return d->frames();
}

void SimulatedDevice::clearReceived()
{
    d->clearReceived();
}

void SimulatedDevice::send(const QByteArray& bytes)
{
    d->send(bytes);
}

void SimulatedDevice::vanish()
{
    d->vanish();
}
