#include "device/DeviceFaults.h"

#include "device/DeviceFrames.h"

namespace {

std::mt19937 seededEngine(quint32 seed, quint32 stream)
{
    std::seed_seq sequence{seed, stream};
    return std::mt19937(sequence);
}

} // namespace

DeviceFaults::DeviceFaults() : DeviceFaults(Settings{}) {}

DeviceFaults::DeviceFaults(const Settings& settings)
    : m_settings(settings), m_garbageRandom(seededEngine(settings.seed, 1)),
      m_noiseRandom(seededEngine(settings.seed, 2))
{
}

DeviceFaults::Outcome DeviceFaults::apply(const QByteArray& reply)
{
    ++m_frames;
    Outcome outcome{reply, {}};
    if (reply.isEmpty())
        return outcome;
    if (m_settings.dropEvery > 0 && m_frames % m_settings.dropEvery == 0) {
        outcome.reply.clear();
        outcome.applied << QStringLiteral("drop");
        return outcome;
    }
    if (m_settings.wrongCheck) {
        outcome.reply = DeviceFrames::withWrongCheck(reply);
        if (outcome.reply != reply)
            outcome.applied << QStringLiteral("wrong-check");
    }
    if (m_settings.garbage > 0) {
        outcome.reply.prepend(randomBytes(m_garbageRandom, m_settings.garbage));
        outcome.applied << QStringLiteral("garbage");
    }
    if (m_settings.splitMs > 0 && outcome.reply.size() > 1)
        outcome.applied << QStringLiteral("split");
    return outcome;
}

QByteArray DeviceFaults::noise()
{
    return randomBytes(m_noiseRandom, std::uniform_int_distribution<int>(1, 4)(m_noiseRandom));
}

bool DeviceFaults::vanishing() const
{
    return m_settings.vanishAfter > 0 && m_frames >= m_settings.vanishAfter;
}

QByteArray DeviceFaults::randomBytes(std::mt19937& engine, int count)
{
    std::uniform_int_distribution<int> byte(0, 255);
    QByteArray bytes(count, Qt::Uninitialized);
    for (char& b : bytes)
        b = char(byte(engine));
    return bytes;
}
