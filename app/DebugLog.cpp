#include "DebugLog.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

DebugLog::DebugLog(QWidget *parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Still wrap by width, so that a misjudged line stays readable.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

int DebugLog::lineWidthAvailable() const
{
    // Measured from the fixed outer size: the viewport is not laid out before
    // the window is first shown, and entries arrive before that.
    const int margins = 2 * frameWidth() + 2 * static_cast<int>(document()->documentMargin()) +
                        verticalScrollBar()->sizeHint().width();
    return width() - margins - fontMetrics().averageCharWidth();
}

void DebugLog::appendEntry(const QString &entry)
{
    if (entry.isEmpty())
        return;
    const int entryWidth = fontMetrics().horizontalAdvance(entry);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (m_lineWidth > 0 && m_lineWidth + entryWidth > lineWidthAvailable()) {
        cursor.insertBlock();
        m_lineWidth = 0;
    }
    m_lineWidth += entryWidth;
    m_length += static_cast<int>(entry.size());
    cursor.insertText(entry);
}

void DebugLog::clearLog()
{
    m_lineWidth = 0;
    m_length = 0;
    clear();
}

QString DebugLog::logText() const
{
    QString text;
    text.reserve(m_length);
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        text += block.text();
    return text;
}
