#include "device/DeviceFrames.h"

#include "codec/ControlCharacters.h"

namespace DeviceFrames {

using codec::kAck;
using codec::kEot;
using codec::kNak;

std::optional<Consoles> consolesFromName(QStringView name)
{
    if (name == u"any")
        return Consoles::Any;
    if (name == u"loader")
        return Consoles::Loader;
    if (name == u"dedicated")
        return Consoles::Dedicated;
    return std::nullopt;
}

bool covers(Consoles consoles, Kind kind)
{
    switch (consoles) {
    case Consoles::Any:
        return kind != Kind::Other;
    case Consoles::Loader:
        return kind == Kind::Loader;
    case Consoles::Dedicated:
        return kind == Kind::Dedicated;
    }
    return false;
}

QByteArray protocolReply(QByteArrayView frame, Consoles consoles)
{
    const codec::FrameCheck checked = codec::checkFrame(frame);
    if (!covers(consoles, checked.kind))
        return QByteArray(1, kNak);
    const char word = checked.right ? kAck : kNak;
    return checked.kind == Kind::Loader ? QByteArray(1, word) + kEot : QByteArray(1, word);
}

QByteArray withWrongCheck(const QByteArray& reply)
{
    const codec::FrameCheck checked = codec::checkFrame(reply);
    if (checked.digitsFrom < 0)
        return reply;
    const QByteArrayView text = QByteArrayView(reply).sliced(checked.textFrom, checked.textSize);
    QByteArray wrong = reply;
    return wrong.replace(checked.digitsFrom, checked.digitsSize,
                         codec::frameDigits(checked.kind, text, 1));
}

} // namespace DeviceFrames
