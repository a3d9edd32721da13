#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QStringList>

// The debug log Text1: entries of received bytes, appended at the end, read
// only by the operator.
//
// A transfer appends one entry per byte received, so an append must cost the
// same however long the log has grown. Entries are never separated by line
// breaks, so the log is one ever-growing paragraph; laying that out again on
// every byte slows a long transfer down quadratically. The log therefore does
// its own wrapping: each visual line is a paragraph of its own, broken between
// entries where the next one would not fit.
//
// Those display breaks are no part of the log: what is copied from it and
// what is read back as its text (logText(), and the plainText property that
// names the widget's text) come without them.
class DebugLog : public QPlainTextEdit {
    Q_OBJECT
    Q_PROPERTY(QString plainText READ logText)
public:
    explicit DebugLog(QWidget *parent = nullptr);

    // Appends the entries in order, as one edit: the log is laid out and
    // scrolled to its end once for all of them.
    void appendEntries(const QStringList &entries);
    void clearLog();

    // The log as written: the entries one after another, without the line
    // breaks of the display.
    QString logText() const;

protected:
    // A selection, or the whole log, as copied or dragged.
    QMimeData *createMimeDataFromSelection() const override;

private:
    int lineWidthAvailable() const;

    int m_lineWidth = 0; // pixels taken on the current visual line
    int m_length = 0;
};
