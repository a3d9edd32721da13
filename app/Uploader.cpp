#include "Uploader.h"

#include "Form1.h"
#include "ProgramFolder.h"
#include "QSerialByteDevice.h"
#include "QtFileSystem.h"
#include "QtMessageBoxService.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

void endProgramAtOnce()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

int runUploader(QApplication &app)
{
    // Empty when the folder cannot be named: then nothing is read or written.
    const QString programFolder = executableFolder();
    QtMessageBoxService messages;
    QtFileSystem files;
    Form1 window(programFolder,
                 Form1Services{
                     messages,
                     [programFolder] { return std::make_unique<QSerialByteDevice>(programFolder); },
                     files,
                     [] { return std::make_unique<QtFileSystem>(); },
                     endProgramAtOnce,
                 });
    messages.setParentWindow(&window);
    QApplication::setWindowIcon(window.windowIcon());
    QObject::connect(&window, &Form1::statusChanged, [](const QString &text) {
        std::fprintf(stderr, "status: %s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
    });
    window.Form_Load();
    window.show();
    return app.exec();
}
