#include "UploaderWindow.h"

#include "QSerialByteDevice.h"

#include <QTimer>

namespace {

// Runs `action` once, queued, the first time `fires` says yes to the signal's text.
template <typename Signal, typename Fires>
void once(Form1 *form, Signal signal, Fires fires, std::function<void()> action)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(form, signal, [=](const QString &text) mutable {
        if (fires(text)) {
            QObject::disconnect(*connection);
            QTimer::singleShot(0, action);
        }
    });
}

} // namespace

UploaderWindow::UploaderWindow(const QString &programFolder, MessageBoxService &messages,
                               std::function<void()> endProgram, bool keepLineEvents)
{
    const auto openLine = [this, programFolder, keepLineEvents] {
        auto line = std::make_unique<RecordingByteDevice>(
            std::make_unique<QSerialByteDevice>(programFolder), keepLineEvents);
        m_line = line.get();
        return line;
    };
    m_form = std::make_unique<Form1>(programFolder,
                                     Form1Services{messages, openLine, m_disk,
                                                   [] { return std::make_unique<QtFileSystem>(); },
                                                   std::move(endProgram)});
}

void UploaderWindow::whenStatus(const QString &text, std::function<void()> action)
{
    once(
        m_form.get(), &Form1::statusChanged, [text](const QString &now) { return now == text; },
        std::move(action));
}

void UploaderWindow::whenLineSent(int lineNumber, std::function<void()> action)
{
    const auto nth = [lineNumber, sent = 0](const QString &line) mutable {
        return !line.isEmpty() && ++sent == lineNumber;
    };
    once(m_form.get(), &Form1::sentLineChanged, nth, std::move(action));
}
