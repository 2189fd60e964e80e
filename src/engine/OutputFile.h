#pragma once
// The files the programs write besides their windows and standard output: the session log and
// the JUnit report. open(2) of a named pipe for writing waits until something reads it, holding
// the program before its first window or line, deaf to Ctrl+C; here such a pipe is refused at
// once instead.

#include <QString>

// Opens path for writing with the extra flags (O_APPEND, O_TRUNC), creating it (mode 0644 less
// the umask) when missing. The descriptor blocks again once open, so a slow reader of a pipe
// slows the writer rather than losing lines. -1 when it cannot be opened, with why filled in.
int openOutputFile(const QString& path, int flags, QString* why);
