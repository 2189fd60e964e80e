#include "device/AnswerRules.h"

#include "codec/Codec.h"
#include "codec/JsonReader.h"
#include "codec/WholeNumber.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

// A refusal on its way out of the reader, already naming where.
struct Refusal {
    QString why;
};

const QStringList kRuleKeys = {QStringLiteral("name"),    QStringLiteral("frame"),
                               QStringLiteral("prefix"),  QStringLiteral("wrong_check"),
                               QStringLiteral("reply"),   QStringLiteral("silent"),
                               QStringLiteral("delay_ms")};

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QByteArray bytesAt(const QJsonValue& value, const QString& path)
{
    if (!value.isString())
        throw Refusal{path + QStringLiteral(": a string of hex digits expected")};
    QByteArray bytes;
    try {
        bytes = codec::HexConvert(value.toString());
    } catch (const codec::CodecError& error) {
        throw Refusal{path + QStringLiteral(": ") + error.message()};
    }
    if (bytes.isEmpty())
        throw Refusal{path + QStringLiteral(": at least one byte expected")};
    return bytes;
}

AnswerRule ruleAt(const QJsonValue& value, const QString& path)
{
    if (!value.isObject())
        throw Refusal{path + QStringLiteral(": an object expected")};
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!kRuleKeys.contains(it.key()))
            throw Refusal{path + QStringLiteral(": unknown key ") + quoted(it.key())};
    }

    AnswerRule rule;
    if (object.contains(QLatin1String("name"))) {
        if (!object.value(QLatin1String("name")).isString())
            throw Refusal{path + QStringLiteral(".name: a string expected")};
        rule.name = object.value(QLatin1String("name")).toString();
    }

    const int matches = int(object.contains(QLatin1String("frame"))) +
                        int(object.contains(QLatin1String("prefix"))) +
                        int(object.contains(QLatin1String("wrong_check")));
    if (matches != 1)
        throw Refusal{path + QStringLiteral(": exactly one of \"frame\", \"prefix\" or "
                                            "\"wrong_check\" expected")};
    if (object.contains(QLatin1String("frame"))) {
        rule.match = AnswerRule::Match::Frame;
        rule.bytes = bytesAt(object.value(QLatin1String("frame")), path + QStringLiteral(".frame"));
    } else if (object.contains(QLatin1String("prefix"))) {
        rule.match = AnswerRule::Match::Prefix;
        rule.bytes =
            bytesAt(object.value(QLatin1String("prefix")), path + QStringLiteral(".prefix"));
    } else {
        rule.match = AnswerRule::Match::WrongCheck;
        const std::optional<DeviceFrames::Consoles> consoles =
            DeviceFrames::consolesFromName(object.value(QLatin1String("wrong_check")).toString());
        if (!object.value(QLatin1String("wrong_check")).isString() || !consoles)
            throw Refusal{path + QStringLiteral(".wrong_check: \"loader\", \"dedicated\" or "
                                                "\"any\" expected")};
        rule.consoles = *consoles;
    }

    const bool hasReply = object.contains(QLatin1String("reply"));
    if (object.contains(QLatin1String("silent"))) {
        if (object.value(QLatin1String("silent")) != QJsonValue(true))
            throw Refusal{path + QStringLiteral(".silent: true expected (or leave it out and "
                                                "give a reply)")};
        if (hasReply)
            throw Refusal{path + QStringLiteral(": \"reply\" and \"silent\" exclude each other")};
    } else if (!hasReply) {
        throw Refusal{path + QStringLiteral(": \"reply\" or \"silent\": true expected")};
    } else {
        rule.reply = bytesAt(object.value(QLatin1String("reply")), path + QStringLiteral(".reply"));
    }

    if (object.contains(QLatin1String("delay_ms"))) {
        const WholeNumber limits{0, AnswerRules::kMaxDelayMs};
        const QJsonValue delay = object.value(QLatin1String("delay_ms"));
        const std::optional<qint64> ms = limits.read(delay);
        if (!ms)
            throw Refusal{path + QStringLiteral(".delay_ms: ") + limits.refusal(delay)};
        rule.delayMs = int(*ms);
    }
    return rule;
}

} // namespace

bool AnswerRule::matches(QByteArrayView frame) const
{
    switch (match) {
    case Match::Frame:
        return frame == bytes;
    case Match::Prefix:
        return frame.startsWith(bytes);
    case Match::WrongCheck: {
        const codec::FrameCheck checked = codec::checkFrame(frame);
        return DeviceFrames::covers(consoles, checked.kind) && !checked.right;
    }
    }
    return false;
}

namespace AnswerRules {

Reading read(QByteArrayView json)
{
    const std::variant<QJsonDocument, QString> parsed = JsonReader::read(json);
    if (const QString* refusal = std::get_if<QString>(&parsed))
        return {{}, *refusal};
    const QJsonDocument& document = std::get<QJsonDocument>(parsed);
    if (!document.isObject())
        return {{}, QStringLiteral("an object with a \"rules\" array expected")};
    const QJsonObject top = document.object();
    for (auto it = top.begin(); it != top.end(); ++it) {
        if (it.key() != QLatin1String("rules"))
            return {
                {},
                QStringLiteral("unknown key %1 (only \"rules\" is known)").arg(quoted(it.key()))};
    }
    if (!top.value(QLatin1String("rules")).isArray())
        return {{}, QStringLiteral("rules: an array expected")};

    Reading reading;
    const QJsonArray rules = top.value(QLatin1String("rules")).toArray();
    try {
        for (qsizetype i = 0; i < rules.size(); ++i)
            reading.rules.append(ruleAt(rules.at(i), QStringLiteral("rules[%1]").arg(i)));
    } catch (const Refusal& refusal) {
        return {{}, refusal.why};
    }
    return reading;
}

std::optional<qsizetype> find(const QList<AnswerRule>& rules, QByteArrayView frame)
{
    for (qsizetype i = 0; i < rules.size(); ++i) {
        if (rules[i].matches(frame))
            return i;
    }
    return std::nullopt;
}

} // namespace AnswerRules
