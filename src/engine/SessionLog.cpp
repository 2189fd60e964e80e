#include "engine/SessionLog.h"

#include "engine/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The least time from one sync to the next.
constexpr auto kSyncGap = std::chrono::milliseconds(5);

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

std::unique_ptr<SessionLog> SessionLog::open(const QString& path, QString* why)
{
    const int fd = openOutputFile(path, O_APPEND, why);
    if (fd == -1)
        return nullptr;
    return std::unique_ptr<SessionLog>(new SessionLog(fd, path));
}

SessionLog::SessionLog(int fd, const QString& path) : m_fd(fd), m_path(path)
{
    // Only a file has a disk to reach; fdatasync refuses a pipe or a terminal.
    struct stat status {};
    m_syncs = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    m_syncer = std::thread([this] { syncLoop(); });
}

SessionLog::~SessionLog()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_syncer.join();
    ::close(m_fd);
}

bool SessionLog::append(QByteArray line)
{
    // The line's own buffer mostly has room for the line break: no copy.
    line.append('\n');
    qsizetype written = 0;
    // A regular file takes the whole line at once; only a full disk or a signal splits it.
    while (written < line.size()) {
        const ssize_t count =
            ::write(m_fd, line.constData() + written, size_t(line.size() - written));
        if (count == -1 && errno == EINTR)
            continue;
        if (count <= 0) {
            const std::lock_guard lock(m_mutex);
            m_error = QStringLiteral("%1: %2").arg(m_path, systemError(count == 0 ? EIO : errno));
            return false;
        }
        written += count;
    }
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        m_unsynced = m_syncs;
        wake = m_syncs && m_syncerIdle;
        if (!m_error.isEmpty())
            return false;
    }
    // A busy syncer takes the line with its next sync; waking it costs the exchange more
    // than the line itself.
    if (wake)
        m_wake.notify_one();
    return true;
}

QString SessionLog::lastError() const
{
    const std::lock_guard lock(m_mutex);
    return m_error;
}

void SessionLog::syncLoop()
{
    std::unique_lock lock(m_mutex);
    auto lastSync = std::chrono::steady_clock::time_point();
    for (;;) {
        m_syncerIdle = true;
        m_wake.wait(lock, [this] { return m_unsynced || m_stopping; });
        m_syncerIdle = false;
        if (!m_unsynced)
            return;
        // Back-to-back syncs keep the disk's journal and a core busy and slow the exchanges
        // down: lines that come faster than the gap are synced together.
        m_wake.wait_until(lock, lastSync + kSyncGap, [this] { return m_stopping; });
        lastSync = std::chrono::steady_clock::now();
        m_unsynced = false;
        lock.unlock();
        const int result = ::fdatasync(m_fd);
        const int error = errno;
        lock.lock();
        if (result == -1 && m_error.isEmpty())
            m_error = QStringLiteral("%1: %2").arg(m_path, systemError(error));
    }
}
