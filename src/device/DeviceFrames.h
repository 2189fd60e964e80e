#pragma once
// How the simulated device reads the frames it receives and the replies it is told to send: a
// Loader frame (STX, text, two check digits, ETX), a Dedicated frame (ENQ, text, EOT, none, one
// or two check digits) or anything else. The check digits are always the codec's BccMake, so a
// frame the device calls right is one the consoles build.

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <optional>

namespace DeviceFrames {

enum class Kind { Loader, Dedicated, Other };

// Which frames the device answers by their check: a frame of a console it does not answer for
// is "anything else".
enum class Consoles { Any, Loader, Dedicated };

// "any", "loader" or "dedicated".
std::optional<Consoles> consolesFromName(QStringView name);
bool covers(Consoles consoles, Kind kind);

struct Check {
    Kind kind = Kind::Other;
    // A Loader or Dedicated frame whose check digits are the sum of its text; a Dedicated frame
    // with no digits is right when it ends at its EOT. Never true for Other.
    bool right = false;
    qsizetype textFrom = 0;
    qsizetype textSize = 0;
    qsizetype digitsFrom = -1; // -1: the frame carries no check digits
    qsizetype digitsSize = 0;
};

Check check(QByteArrayView frame);

// The answer of a device that speaks the protocols: ACK EOT or NAK EOT to a Loader frame, ACK or
// NAK to a Dedicated frame, NAK to anything else.
QByteArray protocolReply(QByteArrayView frame, Consoles consoles);

// The reply with its check digits replaced by the digits of the sum plus one, as its console
// writes them; the reply as it was when it carries none.
QByteArray withWrongCheck(const QByteArray& reply);

} // namespace DeviceFrames
