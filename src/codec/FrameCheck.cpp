#include "codec/FrameCheck.h"

#include "codec/Codec.h"
#include "codec/ControlCharacters.h"

namespace codec {

QByteArray frameDigits(FrameKind kind, QByteArrayView text, qint16 extra)
{
    // The Loader's digits are the sum of the text as exactly two digits (BccMake's first
    // rendering); the Dedicated's are the sum of the text plus 9 (ENQ + EOT), a single digit
    // below 16.
    if (kind == FrameKind::Loader)
        return BccMake(text, extra, 0)[2].rightJustified(2, '0');
    return BccMake(text, qint16(9 + extra), 0)[2];
}

FrameCheck checkFrame(QByteArrayView frame)
{
    FrameCheck result;
    if (frame.startsWith(kStx) && frame.endsWith(kEtx)) {
        result.kind = FrameKind::Loader;
        if (frame.size() < 4)
            return result;
        result.textFrom = 1;
        result.textSize = frame.size() - 4;
        result.digitsFrom = frame.size() - 3;
        result.digitsSize = 2;
    } else if (frame.startsWith(kEnq)) {
        result.kind = FrameKind::Dedicated;
        // The last EOT with at most two digits behind it ends the text: an EOT may be text too.
        qsizetype digits = 0;
        for (; digits <= 2; ++digits) {
            const qsizetype at = frame.size() - 1 - digits;
            if (at >= 1 && frame[at] == kEot)
                break;
        }
        if (digits > 2)
            return result;
        const qsizetype eot = frame.size() - 1 - digits;
        result.textFrom = 1;
        result.textSize = eot - 1;
        if (digits == 0) {
            result.right = true;
            return result;
        }
        result.digitsFrom = eot + 1;
        result.digitsSize = digits;
    } else {
        return result;
    }
    const QByteArrayView text = frame.sliced(result.textFrom, result.textSize);
    result.right =
        frame.sliced(result.digitsFrom, result.digitsSize) == frameDigits(result.kind, text);
    return result;
}

} // namespace codec
