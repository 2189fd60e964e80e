#pragma once
// How a frame of the consoles' own forms is read back: a Loader frame (STX, text, two check
// digits, ETX), a Dedicated frame (ENQ, text, EOT, none, one or two check digits) or anything
// else. The check digits are always BccMake's, so a frame read as right is one the consoles
// build. The simulated device, the reply checks and the monitor all read frames here.

#include <QByteArray>
#include <QByteArrayView>

namespace codec {

enum class FrameKind { Loader, Dedicated, Other };

struct FrameCheck {
    FrameKind kind = FrameKind::Other;
    // A Loader or Dedicated frame whose check digits are the sum of its text; a Dedicated frame
    // with no digits is right when it ends at its EOT. Never true for Other.
    bool right = false;
    qsizetype textFrom = 0;
    qsizetype textSize = 0;
    qsizetype digitsFrom = -1; // -1: the frame carries no check digits
    qsizetype digitsSize = 0;
};

FrameCheck checkFrame(QByteArrayView frame);

// The check digits a frame of that kind carries for that text, the sum plus extra (a nonzero
// extra gives digits that are wrong on purpose).
QByteArray frameDigits(FrameKind kind, QByteArrayView text, qint16 extra = 0);

} // namespace codec
