#pragma once
// SIGHUP, SIGINT and SIGTERM as a Qt signal, so a command ends its exchange cleanly (port closed,
// lock released, what was collected printed) instead of dying inside it. The handler only writes
// the signal's number to a pipe; a socket notifier reads it on the event loop.

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

signals:
    void caught(int signal);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
    int m_caught = 0;
};
