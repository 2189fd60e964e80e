#pragma once
// What the commands print: one line at a time, written at once, so a script reading a pipe sees
// each line as it happens; diagnostics on standard error under the program's name. A line that
// cannot be written (a full disk, a pipe whose reader is gone: SIGPIPE is ignored) is said on
// standard error, nothing more is printed, and the command's status becomes 74.

#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

namespace Output {

void line(const QString& text);
// One JSON object on one line (JSON Lines).
void json(const QJsonObject& object);
// "rs232c: text" on standard error.
void error(const QString& text);

// Why standard output failed; empty while every line went out.
QString failure();
// The command's exit status: 74 instead when standard output failed, unless a signal ended it.
int finish(int status);

// The character view of bytes as the windows' one-line boxes show it: control bytes as control
// pictures, CR LF as two of them.
QString characters(QByteArrayView bytes);
// Two upper-case hex digits a byte, as the windows' hex view shows it.
QString hexDigits(QByteArrayView bytes);

} // namespace Output
