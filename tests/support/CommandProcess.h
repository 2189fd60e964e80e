#pragma once
// The rs232c executable run as a whole process, as a shell or a CI job runs it: with no display
// and no window system named in its environment.
//
//     const CommandResult result = runCommand({"send", "--console", "loader", "ABC"});
//     QCOMPARE(result.status, 0);

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

struct CommandResult {
    int status = -1; // -1 when it did not end normally
    QByteArray out;
    QByteArray err;

    QStringList outLines() const;
    // Each line of standard output as a JSON object (an empty object for a line that is none).
    QList<QJsonObject> jsonLines() const;
};

// Starts rs232c with the arguments; the caller waits, signals and reads.
void startCommand(QProcess& process, const QStringList& arguments);
// The same with the rs232c executable at program (a copy of it elsewhere).
void startCommand(QProcess& process, const QString& program, const QStringList& arguments);
// Runs rs232c to its end.
CommandResult runCommand(const QStringList& arguments);
CommandResult resultOf(QProcess& process);

// The lock file Qt's serial port holds for the device while it is open.
QString lockFileOf(const QString& devicePath);

// Parses JSON Lines.
QList<QJsonObject> jsonObjects(const QByteArray& lines);
