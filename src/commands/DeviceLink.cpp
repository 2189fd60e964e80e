#include "commands/DeviceLink.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

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
    return {};
}

void DeviceLink::remove()
{
    if (m_path.isEmpty())
        return;
    if (QFileInfo(m_path).symLinkTarget() == QFileInfo(m_target).absoluteFilePath())
        ::unlink(QFile::encodeName(m_path).constData());
    m_path.clear();
}
