#pragma once

#include "FakeMessages.h"
#include "Form1.h"
#include "MemoryByteDevice.h"
#include "MemoryFileSystem.h"
#include "QtFileSystem.h"
#include "QtPrinters.h"
#include "globals.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

inline QApplication &testApp()
{
    static int argc = 1;
    static char name[] = "window_tests";
    static char *argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

// A main window on a temporary program folder and an in-memory serial device.
class WindowHarness {
public:
    WindowHarness() { testApp(); }

    void writeFile(const QString &name, const QByteArray &contents) const
    {
        QFile file(m_folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    }
    QByteArray readFile(const QString &name) const
    {
        QFile file(m_folder.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    }

    // A new window on the folder.
    Form1 &make()
    {
        m_form.reset();
        globals::DisableDepth = 0;
        Form1Services services{
            messages,
            [this] {
                auto device = std::make_unique<MemoryByteDevice>();
                for (int port : std::as_const(refusedPorts))
                    device->setOpenable(port, false);
                m_device = device.get();
                return device;
            },
            disk,
            // A program folder that cannot be listed, which a test run as root cannot make.
            [this]() -> std::unique_ptr<FileSystem> {
                if (!searchFails)
                    return std::make_unique<QtFileSystem>();
                auto unlistable = std::make_unique<MemoryFileSystem>();
                unlistable->listFails = true;
                return unlistable;
            },
            [this] {
                ++endProgramCalls;
                if (endProgram)
                    endProgram();
            },
        };
        m_form = std::make_unique<Form1>(folder(), std::move(services));
        return *m_form;
    }
    // As at program start: Form_Load, then show.
    Form1 &start()
    {
        make().Form_Load();
        m_form->show();
        return *m_form;
    }

    QString folder() const { return m_folder.path(); }
    MemoryByteDevice &device() const { return *m_device; }
    template <typename Element> Element *element(const char *name) const
    {
        return m_form->findChild<Element *>(QLatin1String(name));
    }
    QList<int> checkedPorts() const
    {
        QList<int> checked;
        for (int index = 1; index <= 16; ++index)
            checked << (m_form->mCOM(index)->isChecked() ? index : 0);
        checked.removeAll(0);
        return checked;
    }
    QPair<bool, bool> debugChecks() const
    {
        return {m_form->mDebugChoice(1)->isChecked(), m_form->mDebugChoice(2)->isChecked()};
    }
    // The Clear and Send ESC buttons lie wholly inside the client area.
    bool showsDebugView() const
    {
        const QRect client = m_form->centralWidget()->rect();
        return client.contains(element<QPushButton>("btnClear")->geometry()) &&
               client.contains(element<QPushButton>("btnESC")->geometry());
    }

    FakeMessages messages;
    QtFileSystem disk;
    bool searchFails = false;
    QSet<int> refusedPorts;
    int endProgramCalls = 0;
    std::function<void()> endProgram; // beyond counting the calls

private:
    QTemporaryDir m_folder;
    MemoryByteDevice *m_device = nullptr;
    std::unique_ptr<Form1> m_form;
};
