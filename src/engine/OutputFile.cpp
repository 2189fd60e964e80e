#include "engine/OutputFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int openOutputFile(const QString& path, int flags, QString* why)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags, 0644);
    if (fd == -1) {
        const int error = errno;
        struct stat status {};
        const bool unreadPipe = error == ENXIO &&
                                ::stat(QFile::encodeName(path).constData(), &status) == 0 &&
                                S_ISFIFO(status.st_mode);
        *why = QStringLiteral("%1: %2").arg(
            path, unreadPipe ? QStringLiteral("a named pipe that nobody reads")
                             : QString::fromLocal8Bit(std::strerror(error)));
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}
