#include "commands/DeviceLink.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// The link made last, as plain bytes a signal handler may read; empty when there is none.
char g_linkPath[PATH_MAX] = {};
char g_linkTarget[PATH_MAX] = {};

void keep(char (&into)[PATH_MAX], const QByteArray& bytes)
{
    const size_t size = std::min(size_t(bytes.size()), sizeof into - 1);
    std::memcpy(into, bytes.constData(), size);
    into[size] = '\0';
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

DeviceLink::~DeviceLink()
{
    remove();
}

QString DeviceLink::make(const QString& path, const QString& target)
{
    // exists() follows a link, so a link to nothing passes as the leftover it is.
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isSymLink())
        return QStringLiteral("%1 exists and is no symbolic link: it is left as it is").arg(path);
    // Made aside and renamed over the name, so that the name never points nowhere.
    const QByteArray name = QFile::encodeName(path);
    const QByteArray aside = name + ".new." + QByteArray::number(::getpid());
    ::unlink(aside.constData());
    if (::symlink(QFile::encodeName(target).constData(), aside.constData()) == -1)
        return QStringLiteral("%1: %2").arg(path, systemError());
    if (::rename(aside.constData(), name.constData()) == -1) {
        const QString why = QStringLiteral("%1: %2").arg(path, systemError());
        ::unlink(aside.constData());
        return why;
    }
    m_path = path;
    m_target = target;
    keep(g_linkTarget, QFile::encodeName(target));
    keep(g_linkPath, name);
    return {};
}

void DeviceLink::remove()
{
    if (m_path.isEmpty())
        return;
    g_linkPath[0] = '\0';
    if (QFileInfo(m_path).symLinkTarget() == QFileInfo(m_target).absoluteFilePath())
        ::unlink(QFile::encodeName(m_path).constData());
    m_path.clear();
}

void DeviceLink::removeAtOnce()
{
    if (g_linkPath[0] == '\0')
        return;
    char target[PATH_MAX];
    const ssize_t size = ::readlink(g_linkPath, target, sizeof target);
    if (size >= 0 && size_t(size) == std::strlen(g_linkTarget) &&
        std::memcmp(target, g_linkTarget, size_t(size)) == 0)
        ::unlink(g_linkPath);
}
