#pragma once

#include "FakeMessages.h"
#include "Form1.h"
#include "QSerialByteDevice.h"
#include "QtFileSystem.h"
#include "RecordingByteDevice.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

using AnsweringMessageBox = FakeMessages; // every question answered Yes

// The program's main window on a program folder with its own serial line and disk.
class UploaderWindow {
public:
    UploaderWindow(const QString &folder, MessageBoxService &messages,
                   std::function<void()> endProgram, bool keepLineEvents = true)
    {
        const auto openLine = [this, folder, keepLineEvents] {
            auto line = std::make_unique<RecordingByteDevice>(
                std::make_unique<QSerialByteDevice>(folder), keepLineEvents);
            m_line = line.get();
            return line;
        };
        const auto openDisk = [] { return std::make_unique<QtFileSystem>(); };
        m_form = std::make_unique<Form1>(
            folder, Form1Services{messages, openLine, m_disk, openDisk, std::move(endProgram)});
    }

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
    void whenStatus(const QString &text, std::function<void()> action)
    {
        once(
            &Form1::statusChanged, [text](const QString &now) { return now == text; }, action);
    }
    void whenLineSent(int n, std::function<void()> action)
    {
        const auto nth = [n, sent = 0](const QString &line) mutable {
            return !line.isEmpty() && ++sent == n;
        };
        once(&Form1::sentLineChanged, nth, action);
    }

    QString status() const { return element<QLabel>("lblStatus")->text(); }
    template <typename Element> Element *element(const char *name) const
    {
        return m_form->findChild<Element *>(QLatin1String(name));
    }
    RecordingByteDevice *line() const { return m_line; } // null before its first use

private:
    template <typename Signal, typename Fires>
    void once(Signal signal, Fires fires, std::function<void()> action)
    {
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = QObject::connect(m_form.get(), signal, [=](const QString &text) mutable {
            if (fires(text)) {
                QObject::disconnect(*connection);
                QTimer::singleShot(0, action);
            }
        });
    }

    QtFileSystem m_disk;
    RecordingByteDevice *m_line = nullptr;
    std::unique_ptr<Form1> m_form;
};
