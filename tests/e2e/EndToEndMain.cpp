// The test program. It also plays the uploader closed by its operator in the
// middle of an update (--close FOLDER LINE): the program's own end of
// process, the window closed once line LINE of the firmware file has gone out.
#include "Uploader.h"
#include "UploaderWindow.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>

namespace {

int closeMidUpdate(const QString &folder, int line)
{
    AnsweringMessageBox messages;
    UploaderWindow window(folder, messages, endProgramAtOnce, false);
    window.start();
    window.whenLineSent(line, [&window] {
        std::printf("closing\n");
        std::fflush(stdout);
        window.form().close();
        std::printf("still running after the close\n");
    });
    window.clickSend();
    std::printf("the update ended: %s\n", qPrintable(window.status()));
    return 4;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // One application for the whole run, gone before the exit handlers: the
    // pointing device that QTest's clicks create belongs to it.
    QApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--close") == 0)
        return closeMidUpdate(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
