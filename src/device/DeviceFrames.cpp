#include "device/DeviceFrames.h"

#include "codec/Codec.h"
#include "codec/ControlCharacters.h"

namespace DeviceFrames {

namespace {

using codec::kAck;
using codec::kEnq;
using codec::kEot;
using codec::kEtx;
using codec::kNak;
using codec::kStx;

// The Loader's digits are the sum of the text as exactly two digits (extra 0 gives BccMake's
// first rendering).
QByteArray loaderDigits(QByteArrayView text, qint16 extra)
{
    return codec::BccMake(text, extra, 0)[2].rightJustified(2, '0');
}

// The Dedicated's digits are the sum of the text plus 9 (ENQ + EOT), a single digit below 16.
QByteArray dedicatedDigits(QByteArrayView text, qint16 extra)
{
    return codec::BccMake(text, qint16(9 + extra), 0)[2];
}

QByteArray digitsFor(Kind kind, QByteArrayView text, qint16 extra)
{
    return kind == Kind::Loader ? loaderDigits(text, extra) : dedicatedDigits(text, extra);
}

} // namespace

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

Check check(QByteArrayView frame)
{
    Check result;
    if (frame.startsWith(kStx) && frame.endsWith(kEtx)) {
        result.kind = Kind::Loader;
        if (frame.size() < 4)
            return result;
        result.textFrom = 1;
        result.textSize = frame.size() - 4;
        result.digitsFrom = frame.size() - 3;
        result.digitsSize = 2;
    } else if (frame.startsWith(kEnq)) {
        result.kind = Kind::Dedicated;
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
        frame.sliced(result.digitsFrom, result.digitsSize) == digitsFor(result.kind, text, 0);
    return result;
}

QByteArray protocolReply(QByteArrayView frame, Consoles consoles)
{
    const Check checked = check(frame);
    if (!covers(consoles, checked.kind))
        return QByteArray(1, kNak);
    const char word = checked.right ? kAck : kNak;
    return checked.kind == Kind::Loader ? QByteArray(1, word) + kEot : QByteArray(1, word);
}

QByteArray withWrongCheck(const QByteArray& reply)
{
    const Check checked = check(reply);
    if (checked.digitsFrom < 0)
        return reply;
    const QByteArrayView text = QByteArrayView(reply).sliced(checked.textFrom, checked.textSize);
    QByteArray wrong = reply;
    return wrong.replace(checked.digitsFrom, checked.digitsSize, digitsFor(checked.kind, text, 1));
}

} // namespace DeviceFrames
