#pragma once

#include "FakeMessages.h"
#include "Form1.h"
#include "QtFileSystem.h"
#include "RecordingByteDevice.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>

// A technician who confirms the update: every question answered Yes.
using AnsweringMessageBox = FakeMessages;

// The program's main window on a program folder with the program's own
// services: the serial line through QSerialByteDevice (behind a recorder),
// the disk, and the given message box and end of program.
class UploaderWindow {
public:
    UploaderWindow(const QString &programFolder, MessageBoxService &messages,
                   std::function<void()> endProgram, bool keepLineEvents = true);

    Form1 &form() { return *m_form; }
    // As at program start: Form_Load, then the window shown.
    void start()
    {
        m_form->Form_Load();
        m_form->show();
    }
    // Real mouse clicks; Send File returns once the whole update has run.
    void clickSend() { QTest::mouseClick(element<QPushButton>("btnSend"), Qt::LeftButton); }
    void clickStop() { QTest::mouseClick(element<QPushButton>("btnStop"), Qt::LeftButton); }
    // Runs `action` from the event loop, as an operator's click comes, once
    // the status line shows `text`, or once the n-th line of the firmware
    // file is being sent.
    void whenStatus(const QString &text, std::function<void()> action);
    void whenLineSent(int lineNumber, std::function<void()> action);

    QString status() const { return text("lblStatus"); }
    QString text(const char *label) const { return element<QLabel>(label)->text(); }
    template <typename Element> Element *element(const char *name) const
    {
        return m_form->findChild<Element *>(QLatin1String(name));
    }
    // The serial line as the program uses it; null before its first use.
    RecordingByteDevice *line() const { return m_line; }

private:
    QtFileSystem m_disk;
    RecordingByteDevice *m_line = nullptr;
    std::unique_ptr<Form1> m_form;
};
