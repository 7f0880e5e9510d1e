#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the signals that end a process (SIGTERM at logout, shutdown or restart,
// SIGHUP, SIGINT) into a Qt signal delivered by the event loop, so that the program
// ends as its own exit commands end it. The handler only writes the signal's number
// to a pipe, which is all a signal handler may safely do. One instance at a time;
// destroying it restores the default handling.
class TerminationSignals final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TerminationSignals)

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // How many of these signals have arrived while one was watching. A long task that
    // runs its own events (an import) reads it to stop at once when the program is
    // asked to end.
    static int receivedCount();

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};
