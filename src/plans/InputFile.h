#pragma once
// A plan or an answer rules file, read whole before anything starts. Only a regular file of at
// most kMaxBytes is read: a named pipe nobody writes would hold the command in open(2), deaf to
// Ctrl+C, and /dev/zero would fill the memory. The open never waits, and a refusal says why.

#include <QByteArray>
#include <QString>

#include <variant>

namespace InputFile {

// Far above any plan or rules file written by hand or by a script (tens of thousands of steps).
inline constexpr qint64 kMaxBytes = 4 * 1024 * 1024; // whole MiB, as the refusal and help say

// The file's bytes, or why it is refused ("plan.json: a named pipe, not a regular file").
std::variant<QByteArray, QString> read(const QString& path);

} // namespace InputFile
