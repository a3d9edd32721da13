#include "ChildReporter.h"

#include <QDateTime>

namespace {

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

ChildReporter::ChildReporter(Output output, std::chrono::milliseconds batch)
    : m_output(std::move(output)), m_interval(batch)
{
    m_batch.setInterval(2 * batch);
    m_batch.setSingleShot(true);
    connect(&m_batch, &QTimer::timeout, this, &ChildReporter::flush);
}

void ChildReporter::report(ChildEvent::Kind kind, const QString &text)
{
    // One write with the batch before it: one wake-up of the parent.
    m_output(takeBatch() + encodeEvent(ChildEvent{kind, now(), text}));
}

void ChildReporter::received(const QString &entry)
{
    if (m_received.isEmpty())
        m_receivedAt = now();
    m_received += entry;
    gathered();
}

void ChildReporter::progress(double value, double maximum, qint64 linesSent, qint64 linesInFile)
{
    m_progressAt = now();
    m_progress = Progress{value, maximum, linesSent, linesInFile};
    gathered();
}

void ChildReporter::gathered()
{
    if (!m_batch.isActive()) {
        m_due.setRemainingTime(m_interval);
        m_batch.start();
    } else if (m_due.hasExpired()) {
        flush();
    }
}

void ChildReporter::flush()
{
    const QByteArray batch = takeBatch();
    if (!batch.isEmpty())
        m_output(batch);
}

QByteArray ChildReporter::takeBatch()
{
    m_batch.stop();
    QByteArray events;
    if (!m_received.isEmpty())
        events += encodeEvent(ChildEvent{ChildEvent::Kind::Received, m_receivedAt, m_received});
    if (m_progress) {
        const QLatin1Char space(' ');
        const QString numbers = QString::number(m_progress->value, 'f', 0) + space +
                                QString::number(m_progress->maximum, 'f', 0) + space +
                                QString::number(m_progress->linesSent) + space +
                                QString::number(m_progress->linesInFile);
        events += encodeEvent(ChildEvent{ChildEvent::Kind::Progress, m_progressAt, numbers});
    }
    m_received.clear();
    m_progress.reset();
    return events;
}
