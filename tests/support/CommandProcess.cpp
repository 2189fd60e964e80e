#include "CommandProcess.h"

#include <QJsonDocument>
#include <QProcessEnvironment>

QStringList CommandResult::outLines() const
{
    return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QList<QJsonObject> CommandResult::jsonLines() const
{
    return jsonObjects(out);
}

QList<QJsonObject> jsonObjects(const QByteArray& lines)
{
    QList<QJsonObject> objects;
    for (const QByteArray& line : lines.split('\n')) {
        if (!line.isEmpty())
            objects << QJsonDocument::fromJson(line).object();
    }
    return objects;
}

void startCommand(QProcess& process, const QStringList& arguments)
{
    startCommand(process, QStringLiteral(RS232C_COMMAND_PATH), arguments);
}

void startCommand(QProcess& process, const QString& program, const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForStarted();
}

CommandResult resultOf(QProcess& process)
{
    process.waitForFinished(60000);
    CommandResult result;
    if (process.exitStatus() == QProcess::NormalExit)
        result.status = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

CommandResult runCommand(const QStringList& arguments)
{
    QProcess process;
    startCommand(process, arguments);
    return resultOf(process);
}

QString lockFileOf(const QString& devicePath)
{
    QString name = devicePath;
    name.remove(0, name.lastIndexOf(QLatin1String("/dev/")) + 5);
    return QStringLiteral("/run/lock/LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
}
