// The test program; it also plays the other processes its tests need:
//   --hold PORT: another program holding the port as any Qt serial terminal
//     does; prints "holding" and lets go when its standard input closes.
//   --close FOLDER LINE STATUS...: the uploader, closed by its operator at a
//     stage (see whenStage); prints "closing after N bytes sent" just before.
#include "LinkFixture.h"
#include "Uploader.h"

#include <QApplication>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

int holdPort(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QSerialPort port(QString::fromLocal8Bit(argv[2]));
    if (!port.open(QIODevice::ReadWrite))
        return 1;
    std::printf("holding\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&app] {
        char byte = 0;
        if (::read(STDIN_FILENO, &byte, 1) <= 0)
            app.quit();
    });
    return app.exec();
}

int closeAtStage(int argc, char *argv[])
{
    QApplication app(argc, argv);
    AnsweringMessageBox messages;
    UploaderWindow window(QString::fromLocal8Bit(argv[2]), messages, endProgramAtOnce, false);
    window.start();
    QStringList statuses;
    for (int i = 4; i < argc; ++i)
        statuses.append(QString::fromLocal8Bit(argv[i]));
    linkfault::whenStage(window, statuses, std::atoi(argv[3]), [&window] {
        std::printf("closing after %lld bytes sent\n", window.line()->bytesSent());
        std::fflush(stdout);
        window.form().close();
        std::printf("still running after the close\n");
    });
    QTimer::singleShot(0, [&window] {
        window.clickSend();
        std::printf("the update ended without the close: %s\n", qPrintable(window.status()));
        QCoreApplication::exit(4);
    });
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--hold") == 0)
        return holdPort(argc, argv);
    if (argc >= 5 && std::strcmp(argv[1], "--close") == 0)
        return closeAtStage(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
