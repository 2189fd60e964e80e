#pragma once
// What a long session may leak, as the system counts it for this process: open descriptors
// (/proc/self/fd), threads (/proc/self/task) and resident memory (VmRSS in /proc/self/status),
// read once the allocator has handed its free pages back (malloc_trim), so that memory freed
// but kept by the allocator does not count.

#include <QString>
#include <QStringList>

struct ProcessFigures {
    int descriptors = 0;
    int threads = 0;
    qint64 residentKiB = 0;

    static ProcessFigures now();
};

// The lock files in /run/lock this process left: those naming it on their first line (its
// process number) and those of the given devices.
QStringList lockFilesLeft(const QStringList& devicePaths);
