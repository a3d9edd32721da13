// The test program; with --close FOLDER LINE, the uploader closed once line LINE went out.
#include "Uploader.h"
#include "UploaderWindow.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv); // outlives QTest's pointing device until exit
    if (argc == 4 && std::strcmp(argv[1], "--close") == 0) {
        AnsweringMessageBox messages;
        UploaderWindow window(QString::fromLocal8Bit(argv[2]), messages, endProgramAtOnce, false);
        window.start();
        window.whenLineSent(std::atoi(argv[3]), [&window] {
            std::printf("closing\n");
            std::fflush(stdout);
            window.form().close();
            std::printf("still running after the close\n");
        });
        window.clickSend();
        std::printf("the update ended: %s\n", qPrintable(window.status()));
        return 4;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
