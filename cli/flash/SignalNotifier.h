#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <initializer_list>
#include <memory>

// Signals (SIGINT, SIGTERM, SIGHUP) delivered on the event loop: the handler
// only writes the signal's number into a pipe, and the loop reads it, inside
// any wait of an update as much as at the top. One per process.
class SignalNotifier : public QObject {
    Q_OBJECT
public:
    // Throws std::runtime_error when the pipe cannot be made.
    explicit SignalNotifier(std::initializer_list<int> signalNumbers = {},
                            QObject *parent = nullptr);
    ~SignalNotifier() override;

    // Catches one more signal from now on. An interrupting one also ends a
    // blocking read instead of letting it restart: a hang-up must end a
    // question being asked (as No) when the terminal goes.
    void watch(int signal, bool interrupting = false);

signals:
    void raised(int signal);

private:
    void readPipe();

    int m_readEnd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
