#pragma once
// How the simulated device answers the frames it receives by their check, and spoils the check
// of the replies it is told to send. Frames are read by the codec's checkFrame.

#include "codec/FrameCheck.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <optional>

namespace DeviceFrames {

using Kind = codec::FrameKind;

// Which frames the device answers by their check: a frame of a console it does not answer for
// is "anything else".
enum class Consoles { Any, Loader, Dedicated };

// "any", "loader" or "dedicated".
std::optional<Consoles> consolesFromName(QStringView name);
bool covers(Consoles consoles, Kind kind);

// The answer of a device that speaks the protocols: ACK EOT or NAK EOT to a Loader frame, ACK or
// NAK to a Dedicated frame, NAK to anything else.
QByteArray protocolReply(QByteArrayView frame, Consoles consoles);

// The reply with its check digits replaced by the digits of the sum plus one, as its console
// writes them; the reply as it was when it carries none.
QByteArray withWrongCheck(const QByteArray& reply);

} // namespace DeviceFrames
