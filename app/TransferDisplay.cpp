#include "TransferDisplay.h"

#include "DebugLog.h"

#include <QPlainTextEdit>

TransferDisplay::TransferDisplay(DebugLog &log, QPlainTextEdit &sentLine,
                                 std::function<void()> showProgress, QObject *parent)
    : QObject(parent), m_log(log), m_sentLine(sentLine), m_showProgress(std::move(showProgress))
{
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &TransferDisplay::showPending);
}

void TransferDisplay::schedule()
{
    if (!m_refresh.isActive())
        m_refresh.start();
}

void TransferDisplay::appendLog(const QString &entry)
{
    if (entry.isEmpty())
        return;
    m_pendingLog.append(entry);
    schedule();
}

void TransferDisplay::clearLog()
{
    m_pendingLog.clear();
    m_log.clearLog();
}

QString TransferDisplay::logText() const
{
    return m_log.logText() + m_pendingLog.join(QString());
}

void TransferDisplay::setSentLine(const QString &line)
{
    m_pendingSentLine = line;
    schedule();
}

void TransferDisplay::progressChanged()
{
    m_progressPending = true;
    schedule();
}

void TransferDisplay::showPending()
{
    m_refresh.stop();
    if (!m_pendingLog.isEmpty()) {
        m_log.appendEntries(m_pendingLog);
        m_pendingLog.clear();
    }
    if (m_pendingSentLine) {
        m_sentLine.setPlainText(*m_pendingSentLine);
        m_pendingSentLine.reset();
    }
    if (m_progressPending) {
        m_progressPending = false;
        m_showProgress();
    }
}
