#pragma once
// SIGHUP, SIGINT and SIGTERM as a Qt signal, so a command ends its exchange cleanly (port closed,
// lock released, what was collected printed) instead of dying inside it. The handler only writes
// the signal's number to a pipe; a socket notifier reads it on the event loop. A second signal,
// or 5 s after the first without the command having ended (held in a write to a pipe nobody
// reads, where the event loop never sees the signal), ends the program at once with 128 + the
// first signal, after its last words.

#include <QObject>

class QSocketNotifier;

class SignalWatcher : public QObject {
    Q_OBJECT

public:
    // Installs the handlers for SIGHUP, SIGINT and SIGTERM; one watcher at a time.
    explicit SignalWatcher(QObject* parent = nullptr);
    // Puts the default handlers back.
    ~SignalWatcher() override;

    // The signal caught first, 0 while none was.
    int caughtSignal() const { return m_caught; }
    // What must be done even when the program ends at once, from inside a signal handler: only
    // async-signal-safe calls. Until the watcher goes.
    static void setLastWords(void (*lastWords)());

signals:
    void caught(int signal);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
    int m_caught = 0;
};
