#pragma once

#include "ChildEvent.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

// The child's side of the event stream. Status lines and single events go
// out at once; received bytes and progress, which come once per firmware
// line, are gathered and sent at most every `batch`, and always before the
// next event, so the parent sees them in their order. A batch that is due
// goes with the next byte or progress, which the process is awake for anyway;
// only when none comes does a timer wake it, `batch` later still.
class ChildReporter : public QObject {
    Q_OBJECT
public:
    using Output = std::function<void(const QByteArray &)>;

    explicit ChildReporter(Output output,
                           std::chrono::milliseconds batch = std::chrono::milliseconds(100));

    void report(ChildEvent::Kind kind, const QString &text);
    void received(const QString &entry);
    void progress(double value, double maximum, qint64 linesSent, qint64 linesInFile);
    // Sends what is gathered.
    void flush();

private:
    void gathered();
    // The gathered events, encoded, and the batch emptied.
    QByteArray takeBatch();

    Output m_output;
    QTimer m_batch;
    QDeadlineTimer m_due;
    const std::chrono::milliseconds m_interval;
    QString m_received;
    qint64 m_receivedAt = 0;
    // Kept as numbers: progress comes twice a line, the text once a batch.
    struct Progress {
        double value = 0, maximum = 0;
        qint64 linesSent = 0, linesInFile = 0;
    };
    std::optional<Progress> m_progress;
    qint64 m_progressAt = 0;
};
