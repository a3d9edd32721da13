#include "ChildReporter.h"

#include <QDateTime>

namespace {

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

ChildReporter::ChildReporter(Output output, std::chrono::milliseconds batch)
    : m_output(std::move(output))
{
    m_batch.setInterval(batch);
    m_batch.setSingleShot(true);
    connect(&m_batch, &QTimer::timeout, this, &ChildReporter::flush);
}

void ChildReporter::write(ChildEvent::Kind kind, qint64 at, const QString &text)
{
    m_output(encodeEvent(ChildEvent{kind, at, text}));
}

void ChildReporter::report(ChildEvent::Kind kind, const QString &text)
{
    flush();
    write(kind, now(), text);
}

void ChildReporter::received(const QString &entry)
{
    if (m_received.isEmpty())
        m_receivedAt = now();
    m_received += entry;
    if (!m_batch.isActive())
        m_batch.start();
}

void ChildReporter::progress(double value, double maximum, qint64 linesSent, qint64 linesInFile)
{
    m_progressAt = now();
    m_progress = Progress{value, maximum, linesSent, linesInFile};
    if (!m_batch.isActive())
        m_batch.start();
}

void ChildReporter::flush()
{
    m_batch.stop();
    if (!m_received.isEmpty())
        write(ChildEvent::Kind::Received, m_receivedAt, m_received);
    if (m_progress) {
        const QLatin1Char space(' ');
        write(ChildEvent::Kind::Progress, m_progressAt,
              QString::number(m_progress->value, 'f', 0) + space +
                  QString::number(m_progress->maximum, 'f', 0) + space +
                  QString::number(m_progress->linesSent) + space +
                  QString::number(m_progress->linesInFile));
    }
    m_received.clear();
    m_progress.reset();
}
