#include "plans/InputFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a directory");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("no file");
}

// Closes the descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

namespace InputFile {

std::variant<QByteArray, QString> read(const QString& path)
{
    const auto refusal = [&path](const QString& why) {
        return QStringLiteral("%1: %2").arg(path, why);
    };
    const auto systemError = [&] { return refusal(QString::fromLocal8Bit(std::strerror(errno))); };
    // O_NONBLOCK: a named pipe opens at once, to be refused below.
    const Descriptor file(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.fd() == -1)
        return systemError();
    struct stat status {};
    if (::fstat(file.fd(), &status) == -1)
        return systemError();
    if (!S_ISREG(status.st_mode))
        return refusal(QStringLiteral("%1, not a regular file").arg(kindOf(status.st_mode)));
    const QString tooLarge =
        refusal(QStringLiteral("more than %1 MiB, too large for a plan or rules file")
                    .arg(kMaxBytes / (1024 * 1024)));
    if (status.st_size > kMaxBytes)
        return tooLarge;
    QByteArray bytes;
    bytes.reserve(qsizetype(status.st_size));
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(file.fd(), chunk, sizeof chunk);
        if (count == -1 && errno == EINTR)
            continue;
        if (count == -1)
            return systemError();
        if (count == 0)
            return bytes;
        bytes.append(chunk, count);
        // The file grew since fstat.
        if (bytes.size() > kMaxBytes)
            return tooLarge;
    }
}

} // namespace InputFile
