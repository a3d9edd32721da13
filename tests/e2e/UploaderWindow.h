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

using AnsweringMessageBox = FakeMessages; // every question answered Yes

// The program's main window on a program folder with its own serial line and disk.
class UploaderWindow {
public:
    UploaderWindow(const QString &programFolder, MessageBoxService &messages,
                   std::function<void()> endProgram, bool keepLineEvents = true);

    Form1 &form() { return *m_form; }
    void start()
    {
        m_form->Form_Load();
        m_form->show();
    }
    // Send File returns once the whole update has run.
    void clickSend() { QTest::mouseClick(element<QPushButton>("btnSend"), Qt::LeftButton); }
    void clickStop() { QTest::mouseClick(element<QPushButton>("btnStop"), Qt::LeftButton); }
    // Runs `action` from the event loop once the status shows `text` / line n goes out.
    void whenStatus(const QString &text, std::function<void()> action);
    void whenLineSent(int lineNumber, std::function<void()> action);

    QString status() const { return element<QLabel>("lblStatus")->text(); }
    template <typename Element> Element *element(const char *name) const
    {
        return m_form->findChild<Element *>(QLatin1String(name));
    }
    RecordingByteDevice *line() const { return m_line; } // null before its first use

private:
    QtFileSystem m_disk;
    RecordingByteDevice *m_line = nullptr;
    std::unique_ptr<Form1> m_form;
};
