#include "commands/SignalWatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A closed terminal ends a command as Ctrl+C does.
constexpr int kSignals[] = {SIGHUP, SIGINT, SIGTERM};
// A command the event loop has not ended this long after the first signal is held where the
// loop cannot see the signal, such as a write to a pipe that nobody reads any more.
constexpr unsigned kGraceSeconds = 5;

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_first = 0;
void (*g_lastWords)() = nullptr;

void endAtOnce(int)
{
    if (g_lastWords)
        g_lastWords();
    ::_exit(128 + g_first);
}

void onSignal(int signal)
{
    if (g_first != 0)
        endAtOnce(signal);
    g_first = signal;
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t ignored = ::write(g_pipe[1], &number, 1);
    ::alarm(kGraceSeconds);
    errno = saved;
}

void install(int signal, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (const int blocked : kSignals)
        sigaddset(&action.sa_mask, blocked);
    sigaddset(&action.sa_mask, SIGALRM);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent)
{
    if (::pipe2(g_pipe, O_NONBLOCK | O_CLOEXEC) == -1)
        qFatal("signal pipe: %s", strerror(errno));
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readPipe);
    g_first = 0;
    for (const int signal : kSignals)
        install(signal, onSignal);
    install(SIGALRM, endAtOnce);
}

SignalWatcher::~SignalWatcher()
{
    ::alarm(0);
    for (const int signal : kSignals)
        ::signal(signal, SIG_DFL);
    ::signal(SIGALRM, SIG_DFL);
    g_lastWords = nullptr;
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void SignalWatcher::setLastWords(void (*lastWords)())
{
    g_lastWords = lastWords;
}

void SignalWatcher::readPipe()
{
    unsigned char number = 0;
    while (::read(g_pipe[0], &number, 1) == 1) {
        if (m_caught == 0) {
            m_caught = number;
            emit caught(number);
        }
    }
}
