#pragma once
// The serving thread behind SimulatedDevice, set up before it starts. It sleeps in ppoll on its
// line and a wake-up pipe until a byte comes, a frame goes quiet, a reply or some noise falls due,
// so it costs nothing while idle. Each complete frame is answered as DeviceAnswers says, and the
// observer hears of it once the reply is on its way. Every public function may be called from any
// thread.

#include "device/DeviceAnswers.h"
#include "device/DeviceLine.h"
#include "device/DeviceSetup.h"
#include "device/ReplySchedule.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QThread;

class DeviceServer {
public:
    using Clock = std::chrono::steady_clock;
    using Event = DeviceEvent;

    // Set up as setup says before the serving thread starts. Throws SerialError when the line
    // cannot be opened.
    explicit DeviceServer(const DeviceSetup& setup);
    DeviceServer(const QString& portPath, qint32 baud, const DeviceSetup& setup);
    DeviceServer(std::unique_ptr<NetworkBridge> bridge, const DeviceSetup& setup);
    ~DeviceServer();
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    QString path() const { return m_path; }

    void setBehaviour(const DeviceBehaviour& behaviour);
    DeviceBehaviour behaviour() const;
    void setObserver(DeviceObserver observer);

    QByteArray received() const;
    QList<QByteArray> frames() const;
    void clearReceived();

    void send(const QByteArray& bytes);
    void vanish();

private:
    void configure(const DeviceSetup& setup);
    void start(const QString& portPath, qint32 baud);
    void run(const QString& portPath, qint32 baud);
    void serve();
    bool readLine(char* buffer, size_t size);
    void receive(const char* bytes, qsizetype count, Clock::time_point now);
    void complete(Clock::time_point now);
    void takeDueReplies(Clock::time_point now);
    void makeNoise(Clock::time_point now);
    bool mayLeave(Clock::time_point now);
    void publish();
    void queueOut(const QByteArray& bytes);
    void writeOut();
    void wakeUp() const;
    void stop();

    int m_wake[2] = {-1, -1};
    QString m_path;
    std::unique_ptr<QThread> m_thread;

    // Shared with the serving thread.
    mutable std::mutex m_mutex;
    DeviceLine m_line;
    DeviceAnswers m_answers;
    std::shared_ptr<const DeviceObserver> m_observer;
    QByteArray m_received;
    QList<QByteArray> m_frames;
    qsizetype m_framesBytes = 0; // the kept frames' bytes together
    QByteArray m_outbox;
    bool m_stopping = false;

    // The serving thread's own.
    QByteArray m_frame;
    Clock::time_point m_lastByte;
    ReplySchedule m_replies;
    int m_noiseMs = 0;
    std::optional<Clock::time_point> m_nextNoise;
    bool m_leaving = false; // the faults asked the device to go away once its replies are out
    std::optional<Clock::time_point> m_leaveBy;
    int m_answered = 0;
    std::vector<Event> m_news;
};
