#pragma once
// What the simulated device says to a frame: the first answer rule that matches, or its mode's
// own answer, then spoilt by its faults. Not thread-safe: the device guards it.

#include "device/DeviceSetup.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class DeviceAnswers {
public:
    struct Answer {
        QByteArray reply; // empty: nothing goes out
        int rule = -1;    // the matching rule; -1 for the mode's own answer
        QString name;     // the rule's name, or the mode's
        int delayMs = 0;
        int splitMs = 0;    // the reply goes out a byte at a time, this far apart
        QStringList faults; // the faults that changed it
    };

    void setBehaviour(const DeviceBehaviour& behaviour) { m_behaviour = behaviour; }
    const DeviceBehaviour& behaviour() const { return m_behaviour; }
    void setRules(const QList<AnswerRule>& rules) { m_rules = rules; }
    void setFaults(const DeviceFaults::Settings& faults) { m_faults = DeviceFaults(faults); }

    // The answer to the next frame, counting it for the faults.
    Answer answer(const QByteArray& frame);
    QByteArray noise() { return m_faults.noise(); }
    // True once the device should go away.
    bool vanishing() const { return m_faults.vanishing(); }

private:
    DeviceBehaviour m_behaviour;
    QList<AnswerRule> m_rules;
    DeviceFaults m_faults;
};
