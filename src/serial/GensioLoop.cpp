#include "serial/GensioLoop.h"

#include <gensio/gensio.h>
#include <gensio/gensio_os_funcs_public.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <thread>

namespace {

// gensio wakes its waiting thread with this signal when another thread hands it work (a new
// connection, a sooner timer). It must have a handler, and every thread but the loop's keeps it
// blocked so that only the loop is woken.
constexpr int kWakeSignal = SIGUSR1;

void ignoreWake(int) {}

void serve(gensio_os_funcs* funcs)
{
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, kWakeSignal);
    // A peer that goes away must not end the process on the next write.
    sigaddset(&blocked, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    gensio_waiter* never = gensio_os_funcs_alloc_waiter(funcs);
    for (;;)
        gensio_os_funcs_wait(funcs, never, 1, nullptr);
}

gensio_os_funcs* start()
{
    struct sigaction action {};
    action.sa_handler = ignoreWake;
    sigemptyset(&action.sa_mask);
    sigaction(kWakeSignal, &action, nullptr);

    gensio_os_funcs* funcs = nullptr;
    const int error = gensio_default_os_hnd(kWakeSignal, &funcs);
    if (error != 0) {
        std::fprintf(stderr, "gensio cannot start: %s\n", gensio_err_to_str(error));
        std::abort();
    }
    std::thread(serve, funcs).detach();
    return funcs;
}

} // namespace

namespace GensioLoop {

gensio_os_funcs* os()
{
    static gensio_os_funcs* const funcs = start();
    return funcs;
}

} // namespace GensioLoop
