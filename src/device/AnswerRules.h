#pragma once
// Answer rules of the simulated device, tried in order before its own answer: the first rule
// that matches a frame says what the device replies (or that it stays silent) and after how
// long. They are written by hand as JSON:
//
//   {"rules": [
//     {"name": "status", "frame": "02 53 54 35 33 03", "reply": "02 4F 4B 39 41 03"},
//     {"name": "reads", "prefix": "02 52", "reply": "06 04", "delay_ms": 40},
//     {"name": "bad check", "wrong_check": "loader", "reply": "15 04"},
//     {"name": "pings", "prefix": "05 50", "silent": true}
//   ]}
//
// Each rule has one match ("frame": exact bytes, "prefix": leading bytes, "wrong_check": a frame
// of that console, "loader", "dedicated" or "any", that the device would NAK for its check) and
// one answer ("reply": bytes, or "silent": true); "name" and "delay_ms" are optional. Bytes are
// hex digits as the windows' hex view reads them.

#include "device/DeviceFrames.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

struct AnswerRule {
    enum class Match { Frame, Prefix, WrongCheck };

    QString name;
    Match match = Match::Frame;
    QByteArray bytes;                                              // Frame and Prefix
    DeviceFrames::Consoles consoles = DeviceFrames::Consoles::Any; // WrongCheck
    QByteArray reply;                                              // empty: silent
    std::optional<int> delayMs;                                    // none: the device's own delay

    bool matches(QByteArrayView frame) const;
};

namespace AnswerRules {

// The longest delay a rule may ask for.
inline constexpr int kMaxDelayMs = 3'600'000;

struct Reading {
    QList<AnswerRule> rules;
    // Why the document was refused, naming the line and column or the key's path
    // ("rules[2].reply: ..."); empty when it was read.
    QString refusal;
};

// Reads a whole rules document; any fault refuses all of it.
Reading read(QByteArrayView json);

// The index of the first rule that matches frame.
std::optional<qsizetype> find(const QList<AnswerRule>& rules, QByteArrayView frame);

} // namespace AnswerRules
