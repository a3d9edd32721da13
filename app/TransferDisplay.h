#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>

class DebugLog;
class QPlainTextEdit;

// What a transfer shows as it goes: the bytes received in the debug log, the
// line being sent and the progress bar.
//
// The instrument answers a line in about a millisecond of its own and the
// next line should leave as soon as the answer is in, but laying out and
// repainting the log, the line and the bar takes several times that. So the
// updates are kept here and handed to the widgets a few dozen times a second,
// from a timer that fires while the program waits on the line. The log's text
// and the sent line read back at once, as written.
class TransferDisplay : public QObject {
    Q_OBJECT
public:
    // `showProgress` draws the progress bar from the window's own value.
    TransferDisplay(DebugLog &log, QPlainTextEdit &sentLine, std::function<void()> showProgress,
                    QObject *parent = nullptr);

    void appendLog(const QString &entry);
    void clearLog();
    // The log as written, entries still on their way to the widget included.
    QString logText() const;

    void setSentLine(const QString &line);
    void progressChanged();

    // Hands everything pending to the widgets now.
    void showPending();

    static constexpr int RefreshMs = 33;

private:
    void schedule();

    DebugLog &m_log;
    QPlainTextEdit &m_sentLine;
    std::function<void()> m_showProgress;
    QStringList m_pendingLog;
    std::optional<QString> m_pendingSentLine;
    bool m_progressPending = false;
    QTimer m_refresh;
};
