#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <initializer_list>
#include <memory>

// Signals (SIGINT, SIGTERM, SIGHUP) delivered on the event loop: the handler
// only writes the signal's number into a pipe, and the loop reads it, inside
// any wait of an update as much as at the top. One per process. A hang-up
// interrupts a blocking read instead of restarting it, so that a question
// being asked ends (as No) when the terminal goes.
class SignalNotifier : public QObject {
    Q_OBJECT
public:
    // Throws std::runtime_error when the pipe cannot be made.
    explicit SignalNotifier(std::initializer_list<int> signalNumbers = {},
                            QObject *parent = nullptr);
    ~SignalNotifier() override;

    // Catches one more signal from now on. An interrupting one also ends a
    // blocking read (the question) instead of letting it restart.
    void watch(int signal, bool interrupting = false);

signals:
    void raised(int signal);

private:
    void readPipe();

    int m_readEnd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
