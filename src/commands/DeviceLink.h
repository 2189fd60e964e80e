#pragma once
// A symbolic link with a name people can type (/tmp/ttyDEVICE) to a pty whose name changes from
// run to run. It is removed when it goes, unless something else has taken its place meanwhile.

#include <QString>

class DeviceLink {
public:
    DeviceLink() = default;
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Makes path a link to target. A link already there (left by a run that was killed) is
    // replaced; anything else there is kept and refused. Empty when made, else why not.
    QString make(const QString& path, const QString& target);
    void remove();
    // remove() for the link made last, from a signal handler when the program ends at once.
    static void removeAtOnce();

private:
    QString m_path;
    QString m_target;
};
