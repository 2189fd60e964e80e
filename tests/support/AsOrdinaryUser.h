#pragma once
// Runs the scope as the user nobody when the test runs as root, which passes every permission
// check and TIOCEXCL: the only way a root test meets "Permission denied" or a busy device.
//
//     const AsOrdinaryUser user;
//     if (!user.active())
//         QSKIP("cannot leave root");

#include <QtGlobal>

#include <unistd.h>

class AsOrdinaryUser {
public:
    AsOrdinaryUser()
    {
        if (::geteuid() == 0)
            m_switched = ::seteuid(kNobody) == 0;
    }
    ~AsOrdinaryUser()
    {
        if (m_switched && ::seteuid(0) != 0)
            qFatal("cannot return to root");
    }
    AsOrdinaryUser(const AsOrdinaryUser&) = delete;
    AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;

    bool active() const { return ::geteuid() != 0; }

private:
    static constexpr uid_t kNobody = 65534;
    bool m_switched = false;
};
