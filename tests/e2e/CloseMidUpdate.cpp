// Test-only program: the uploader's window with the program's own end (the
// process ends at once when the window closes) on the program folder given as
// its first argument. It clicks Send File, confirms, and closes the window
// once the status line shows "Sending file..." and, if a second argument N is
// given, once line N of the file has gone out. Just before closing it prints
//     closing after N bytes sent
// so the caller can hold that against what the instrument received. Status
// changes go to standard error.
#include "Uploader.h"
#include "UploaderWindow.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM_FOLDER [LINE]\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int line = argc > 2 ? std::atoi(argv[2]) : 0;

    AnsweringMessageBox messages;
    UploaderWindow window(folder, messages, endProgramAtOnce, false);
    QObject::connect(&window.form(), &Form1::statusChanged, [](const QString &text) {
        std::fprintf(stderr, "status: %s\n", qPrintable(text));
    });
    window.start();

    const auto close = [&window] {
        std::printf("closing after %lld bytes sent\n", window.line()->bytesSent());
        std::fflush(stdout);
        window.form().close();
        std::printf("still running after the close\n");
    };
    window.whenStatus(QStringLiteral("Sending file..."), [&window, line, close] {
        if (line > 0)
            window.whenLineSent(line, close);
        else
            close();
    });
    QTimer::singleShot(0, [&window] {
        window.clickSend();
        std::printf("the update ended without the close: %s\n", qPrintable(window.status()));
        QCoreApplication::exit(4);
    });
    return app.exec();
}
