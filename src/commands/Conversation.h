#pragma once
// How the monitor reads a conversation between a host and a device: the bytes each way as they
// came and when, cut into frames, each frame named by its form, and each reply paired with the
// frame before it as an exchange record.
//
// A frame ends at its own form's end (a Loader frame at its ETX, a Loader reply at its EOT, a
// lone EOT at once, a lone ACK or NAK at once when only Dedicated frames are read), when the
// other side starts to speak, or when its side has been quiet for the gap. A Dedicated frame and
// a User Define frame may carry digits after their last control character, so only the other
// side or the gap ends them.

#include "protocols/ExchangeRecord.h"
#include "protocols/UserDefFrame.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QString>

#include <chrono>
#include <optional>
#include <vector>

enum class MonitorSide { Host, Device };

// The forms read: --console loader|dedicated|userdef|any and User Define's four lists.
struct MonitorForms {
    enum class Consoles { Any, Loader, Dedicated, UserDefine };
    Consoles consoles = Consoles::Any;
    UserDefSelections selections;

    static std::optional<Consoles> consolesFromName(QStringView name);
};

struct MonitorFrame {
    using Time = std::chrono::system_clock::time_point;

    MonitorSide side = MonitorSide::Host;
    Time first; // when its first byte came
    Time last;  // when its last byte came
    QByteArray bytes;
    // "loader", "dedicated", "userdef", "ack", "nak", "eot" or "other".
    QString form;
    // The check of a form that carries one: a Loader, Dedicated or User Define frame.
    std::optional<bool> right;
};

// What the reader found: a frame, a pairing, or a reply with its pairing. A pairing without a
// frame is a frame the device left unanswered (its record's class is "none"). The monitor also
// passes news of the line (a device gone, a host that closed the pty) as a notice.
struct MonitorEvent {
    std::optional<MonitorFrame> frame;
    std::optional<ExchangeRecord> record;
    QString notice;
};

struct MonitorSummary {
    int hostFrames = 0;
    int deviceFrames = 0;
    int exchanges = 0;
    QMap<QString, int> classes; // by the record's class name
    std::vector<std::chrono::microseconds> latencies;

    // "frames host> 3 <device 3, exchanges 3 (ack 2, nak 1), latency median 0.312 ms p99 ...".
    QString text() const;
};

class ConversationReader {
public:
    using Time = MonitorFrame::Time;

    // device: the device's name for the records.
    ConversationReader(const MonitorForms& forms, std::chrono::microseconds gap,
                       const QString& device);

    void setGap(std::chrono::microseconds gap) { m_gap = gap; }
    // The device's line settings for the records ("38400,n,8,1").
    void setSettings(const QString& settings) { m_settings = settings; }

    // Bytes that came from one side at one time.
    void take(MonitorSide from, Time at, QByteArrayView bytes);
    // Ends the frames whose side has been quiet for the gap by now.
    void closeQuiet(Time now);
    // When the earliest open frame will have been quiet for the gap; none while none is open.
    std::optional<Time> quietAt() const;
    // Ends every open frame and leaves the last frame unanswered.
    void finish();

    // The events found since the last call, in order.
    QList<MonitorEvent> takeEvents();
    const MonitorSummary& summary() const { return m_summary; }

private:
    // The form and check of one whole frame.
    static void name(const MonitorForms& forms, MonitorFrame* frame);
    bool endsByForm(const QByteArray& bytes) const;
    void close(MonitorSide side);
    void pair(const MonitorFrame& frame, const MonitorFrame* reply, Time until);

    MonitorForms m_forms;
    std::chrono::microseconds m_gap;
    QString m_device;
    QString m_settings;
    std::optional<MonitorFrame> m_open[2];    // by side
    std::optional<MonitorFrame> m_unanswered; // the host's last frame, waiting for its reply
    QList<MonitorEvent> m_events;
    MonitorSummary m_summary;
};
