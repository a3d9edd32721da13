#include "DebugLog.h"

#include <QMimeData>
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
    // Nobody undoes a received byte; a long transfer would only fill the undo stack.
    document()->setUndoRedoEnabled(false);
}

int DebugLog::lineWidthAvailable() const
{
    // Measured from the fixed outer size: the viewport is not laid out before
    // the window is first shown, and entries arrive before that.
    const int margins = 2 * frameWidth() + 2 * static_cast<int>(document()->documentMargin()) +
                        verticalScrollBar()->sizeHint().width();
    return width() - margins - fontMetrics().averageCharWidth();
}

void DebugLog::appendEntries(const QStringList &entries)
{
    const int available = lineWidthAvailable();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    for (const QString &entry : entries) {
        if (entry.isEmpty())
            continue;
        const int entryWidth = fontMetrics().horizontalAdvance(entry);
        if (m_lineWidth > 0 && m_lineWidth + entryWidth > available) {
            cursor.insertBlock();
            m_lineWidth = 0;
        }
        m_lineWidth += entryWidth;
        m_length += static_cast<int>(entry.size());
        cursor.insertText(entry);
    }
    cursor.endEditBlock();
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

QMimeData *DebugLog::createMimeDataFromSelection() const
{
    // Every paragraph break in the document is one of the display's.
    QString selected = textCursor().selectedText();
    selected.remove(QChar::ParagraphSeparator);
    auto *data = new QMimeData;
    data->setText(selected);
    return data;
}
