#pragma once

#include "FakeMessages.h"
#include "Form1.h"
#include "MemoryByteDevice.h"
#include "QtFileSystem.h"
#include "QtPrinters.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

// A main window on a temporary program folder and an in-memory serial device.
struct WindowHarness {
    WindowHarness()
    {
        static int argc = 1;
        static char name[] = "window_tests", *argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Never destroyed: at exit QTest's input devices, children of the
        // application, would outlive Qt's own list of devices.
        static QApplication *app = new QApplication(argc, argv);
        Q_UNUSED(app);
    }
    void writeFile(const QString &name, const QByteArray &contents) const
    {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    }
    QByteArray readFile(const QString &name) const
    {
        QFile file(folder.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    }
    Form1 &make()
    {
        const auto makeDevice = [this]() -> std::unique_ptr<ByteDevice> {
            device = new MemoryByteDevice;
            device->setOpenable(refusedPort, false);
            return std::unique_ptr<ByteDevice>(device);
        };
        const auto searchDisk = [] { return std::unique_ptr<FileSystem>(new QtFileSystem); };
        form = std::make_unique<Form1>(
            programFolder.value_or(folder.path()),
            Form1Services{messages, makeDevice, disk, searchDisk, [this] { ++endProgramCalls; }});
        return *form;
    }
    // As at program start, with this hexcfg.dat and, if named, a firmware file in the folder.
    Form1 &start(const QByteArray &prefs, const QString &firmware = {})
    {
        writeFile("hexcfg.dat", prefs);
        if (!firmware.isEmpty())
            writeFile(firmware, ":00000001FF\r\n");
        make().Form_Load();
        form->show();
        return *form;
    }
    template <typename Element = QWidget> Element *element(const char *name) const
    {
        return form->findChild<Element *>(QLatin1String(name));
    }
    QString text(const char *label) const { return element<QLabel>(label)->text(); }
    // The checked menu items, "mCOM_3 mDebugChoice_2".
    QString checks() const
    {
        QStringList checked;
        for (const QAction *item : form->findChildren<QAction *>())
            checked << (item->isChecked() ? item->objectName() : QString());
        return checked.join(' ').simplified();
    }

    FakeMessages messages;
    QtFileSystem disk;
    QTemporaryDir folder;
    MemoryByteDevice *device = nullptr;
    int refusedPort = 0;
    std::optional<QString> programFolder; // the window's folder, if not `folder`
    int endProgramCalls = 0;
    std::unique_ptr<Form1> form;
};
