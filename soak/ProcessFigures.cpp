#include "ProcessFigures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <malloc.h>

namespace {

int entries(const QString& folder)
{
    return int(
        QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

qint64 statusResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLongLong();
    }
    return -1;
}

} // namespace

ProcessFigures ProcessFigures::now()
{
    malloc_trim(0);
    return {entries(QStringLiteral("/proc/self/fd")), entries(QStringLiteral("/proc/self/task")),
            statusResidentKiB()};
}

QStringList lockFilesLeft(const QStringList& devicePaths)
{
    const QDir locks(QStringLiteral("/run/lock"));
    QStringList left;
    for (const QString& name : locks.entryList({QStringLiteral("LCK..*")}, QDir::Files)) {
        QFile lock(locks.filePath(name));
        if (lock.open(QIODevice::ReadOnly) &&
            lock.readLine().trimmed().toLongLong() == QCoreApplication::applicationPid())
            left << locks.filePath(name);
    }
    for (const QString& path : devicePaths) {
        // QSerialPort names the lock after the device with its /dev/ cut and slashes as _.
        QString name = QFileInfo(path).canonicalFilePath().mid(5);
        const QString lock = locks.filePath(QStringLiteral("LCK..") +
                                            name.replace(QLatin1Char('/'), QLatin1Char('_')));
        if (!name.isEmpty() && QFileInfo::exists(lock) && !left.contains(lock))
            left << lock;
    }
    return left;
}
