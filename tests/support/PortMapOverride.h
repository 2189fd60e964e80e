#pragma once
// Points ports 1 and 2 of PortMap at test devices for one scope and restores them afterwards.

#include <QString>

class PortMapOverride {
public:
    // An empty path leaves that port as it is.
    explicit PortMapOverride(const QString& port1, const QString& port2 = {});
    ~PortMapOverride();
    PortMapOverride(const PortMapOverride&) = delete;
    PortMapOverride& operator=(const PortMapOverride&) = delete;

private:
    QString m_saved[2];
};
