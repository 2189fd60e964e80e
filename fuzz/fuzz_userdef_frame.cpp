// The User Define frame builder. The input is four lines (header, BCC1, tail, BCC2, as UTF-8)
// and then the message's bytes, as in "ENQ(05)\nSUM_1\nETX(03)\nSUM_2\nABC". The selection texts
// are read here by the rules the lists' entries follow, and the frame is worked out from what
// each check covers; the builder must agree, or refuse the same field leaving the state alone.

#include "FuzzSupport.h"
#include "protocols/UserDefFrame.h"

#include <QList>

#include <optional>

using fuzz::require;

namespace {

constexpr int kFields = 4;
const char* const kFieldNames[kFields] = {"Header", "BCC1", "Tail", "BCC2"};

enum class Check { Sum1, Sum2 };

// A reading of one field: absent, a control code or a check, or refused.
struct Reading {
    bool refused = false;
    std::optional<int> code;
    std::optional<Check> check;
};

bool asciiDigit(uint c)
{
    return c >= '0' && c <= '9';
}

Reading readControl(const QString& text)
{
    const QList<uint> characters = text.toUcs4();
    if (characters.size() == 4)
        return {};
    if (characters.size() < 5 || !asciiDigit(characters[4]) ||
        (characters.size() > 5 && !asciiDigit(characters[5])))
        return {true};
    int code = static_cast<int>(characters[4] - '0');
    if (characters.size() > 5)
        code = code * 10 + static_cast<int>(characters[5] - '0');
    return {false, code};
}

Reading readCheck(const QString& text)
{
    const QList<uint> characters = text.toUcs4();
    if (characters.size() == 4)
        return {};
    if (characters.isEmpty() || !asciiDigit(characters.last()))
        return {true};
    return {false, std::nullopt, characters.last() == '1' ? Check::Sum1 : Check::Sum2};
}

QByteArray checkText(int value, bool alwaysTwoDigits)
{
    if (!alwaysTwoDigits && value < 16)
        return QByteArray::number(value, 16).toUpper();
    return QByteArray::number(value % 256, 16).toUpper().rightJustified(2, '0');
}

QByteArray expectedFrame(const Reading (&readings)[kFields], const QByteArray& message)
{
    const std::optional<int> header = readings[0].code;
    const std::optional<int> tail = readings[2].code;
    int sum = 0;
    for (const char byte : message)
        sum += static_cast<quint8>(byte);
    const int controls = header.value_or(0) + tail.value_or(0);

    QByteArray first;
    if (readings[1].check == Check::Sum1)
        first = checkText(sum, true);
    else if (readings[1].check == Check::Sum2)
        first = checkText(sum + controls, false);
    const int firstCodes =
        first.isEmpty() ? 0
                        : static_cast<quint8>(first.front()) + static_cast<quint8>(first.back());

    QByteArray second;
    if (readings[3].check == Check::Sum1)
        second = checkText(sum + firstCodes, false);
    else if (readings[3].check == Check::Sum2)
        second = checkText(sum + controls + firstCodes, false);

    QByteArray frame;
    if (header)
        frame.append(static_cast<char>(*header));
    frame += message + first;
    if (tail)
        frame.append(static_cast<char>(*tail));
    return frame + second;
}

ProgramState markedState()
{
    ProgramState state;
    state.BaudRate = 19200;
    state.PortNo = QStringLiteral("2");
    state.BccFlag = true;
    state.BccSource = "before";
    state.BccAdd1 = 77;
    state.BccAdd2 = -3;
    state.BccCode = {"a", "b", "c", "d"};
    return state;
}

bool sameState(const ProgramState& a, const ProgramState& b, bool sameChecks)
{
    const bool line = a.BaudRate == b.BaudRate && a.PortNo == b.PortNo && a.BccFlag == b.BccFlag;
    return line && (!sameChecks || (a.BccSource == b.BccSource && a.BccAdd1 == b.BccAdd1 &&
                                    a.BccAdd2 == b.BccAdd2 && a.BccCode == b.BccCode));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = fuzz::inputBytes(data, size).toByteArray();
    QString texts[kFields];
    qsizetype start = 0;
    for (QString& text : texts) {
        const qsizetype end = input.indexOf('\n', start);
        const qsizetype stop = end < 0 ? input.size() : end;
        text = QString::fromUtf8(input.mid(start, stop - start));
        start = end < 0 ? input.size() : end + 1;
    }
    const QByteArray message = input.mid(start);

    const Reading readings[kFields] = {readControl(texts[0]), readCheck(texts[1]),
                                       readControl(texts[2]), readCheck(texts[3])};
    int refusedField = -1;
    for (int i = kFields - 1; i >= 0; --i)
        if (readings[i].refused)
            refusedField = i;

    const ProgramState before = markedState();
    ProgramState state = before;
    try {
        const QByteArray frame =
            buildUserDefFrame({texts[0], texts[1], texts[2], texts[3]}, message, state);
        require(refusedField < 0, "a text of no listed form is refused");
        require(frame == expectedFrame(readings, message),
                "header, message, checks and tail as each check covers them");
        const bool checked = readings[1].check || readings[3].check;
        require(sameState(state, before, !checked), "only the check values change");
        require(!checked || state.BccSource == message, "the checks run over the message");
    } catch (const SelectionError& error) {
        require(refusedField >= 0, "a text of a listed form is taken");
        require(error.field() == QLatin1String(kFieldNames[refusedField]),
                "the first wrong field is named");
        require(error.text() == texts[refusedField], "the refusal keeps the text");
        require(error.message().contains(texts[refusedField]), "the message quotes the text");
        require(sameState(state, before, true), "a refusal leaves the state untouched");
    }
    return 0;
}
