#include "serial/GensioLoop.h"

#include <gensio/gensio.h>
#include <gensio/gensio_os_funcs_public.h>

#include <QtGlobal>

#include <csignal>
#include <pthread.h>
#include <thread>

namespace {

void wakeUp(int) {}

gensio_os_funcs* start()
{
    // Another thread that hands the loop new work wakes it with this signal; its handler has
    // nothing to do, and the loop thread takes it only while it waits.
    struct sigaction action {};
    action.sa_handler = wakeUp;
    sigemptyset(&action.sa_mask);
    ::sigaction(GENSIO_DEF_WAKE_SIG, &action, nullptr);

    gensio_os_funcs* os = nullptr;
    if (const int error = gensio_default_os_hnd(GENSIO_DEF_WAKE_SIG, &os); error != 0)
        qFatal("gensio: %s", gensio_err_to_str(error));
    std::thread([os] {
        sigset_t wake;
        sigemptyset(&wake);
        sigaddset(&wake, GENSIO_DEF_WAKE_SIG);
        ::pthread_sigmask(SIG_BLOCK, &wake, nullptr);
        for (;;)
            gensio_os_funcs_service(os, nullptr);
    }).detach();
    return os;
}

} // namespace

gensio_os_funcs* GensioLoop::os()
{
    static gensio_os_funcs* const funcs = start();
    return funcs;
}
