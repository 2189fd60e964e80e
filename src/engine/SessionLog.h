#pragma once
// The session log: one line per exchange, appended to a file that may already hold earlier
// sessions. Each line goes to the file with one write(2) on a descriptor opened with O_APPEND
// before the next exchange begins, so a crash of the program loses nothing written, and two
// programs logging to one file never interleave within a line. A thread of its own then calls
// fdatasync, so the line also reaches the disk without the exchange waiting for the disk: at
// once after a quiet spell, so an unplugged machine loses at most the exchange in flight, and at
// most once every 5 ms while lines come faster (they are synced together, and then the lines of
// the last 5 ms may be lost).

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class SessionLog {
public:
    // Opens path for appending, creating it (mode 0644 less the umask) when missing, without
    // waiting for a named pipe to be read (see OutputFile.h). nullptr when it cannot, with why
    // filled in.
    static std::unique_ptr<SessionLog> open(const QString& path, QString* why);
    // Waits for the last line to reach the disk.
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    // Appends line and a line break. False when the line, or an earlier one's sync, failed;
    // lastError() says why.
    bool append(QByteArray line);
    QString lastError() const;
    QString path() const { return m_path; }

private:
    SessionLog(int fd, const QString& path);
    void syncLoop();

    int m_fd;
    QString m_path;
    bool m_syncs = false; // a regular file, whose lines are synced to the disk
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_unsynced = false;
    bool m_syncerIdle = false; // waiting for a line, not syncing or pausing between syncs
    bool m_stopping = false;
    QString m_error;
    std::thread m_syncer;
};
