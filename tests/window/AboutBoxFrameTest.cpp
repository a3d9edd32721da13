// The About box under a real window manager, where the frame (title bar and
// border) is not part of the client area: the box is centred on its outer size.
#include "frmAbout.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// Ended politely, so that the X server leaves no lock behind.
struct Quitting : QProcess {
    ~Quitting() override
    {
        terminate();
        waitForFinished(3000);
    }
};

// Starts the program and collects its output until `marker` comes; empty when it never does.
QByteArray startUntil(QProcess &process, const QString &program, const QStringList &arguments,
                      const QByteArray &marker)
{
    process.start(program, arguments);
    QByteArray said;
    while (!said.contains(marker) && process.waitForReadyRead(10000))
        said += process.readAllStandardOutput();
    return said.contains(marker) ? said : QByteArray();
}

TEST(AboutBoxUnderAWindowManager, centresTheOuterFrame)
{
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
    if (platforms.entryList({"*qxcb*"}).isEmpty() ||
        QStandardPaths::findExecutable("Xvfb").isEmpty() ||
        QStandardPaths::findExecutable("openbox").isEmpty())
        GTEST_SKIP() << "needs Xvfb, openbox and Qt's xcb platform plugin";
    // The server picks a free display and writes its number to fd 1; openbox
    // runs its start-up command once it manages the screen.
    Quitting server, manager;
    const QByteArray number =
        startUntil(server, "Xvfb",
                   {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, "\n");
    if (number.isEmpty())
        GTEST_SKIP() << "Xvfb did not start";
    qputenv("DISPLAY", ":" + number.trimmed());
    if (startUntil(manager, "openbox", {"--sm-disable", "--startup", "echo wm-ready"}, "wm-ready")
            .isEmpty())
        GTEST_SKIP() << "openbox did not start";
    qputenv("QT_QPA_PLATFORM", "xcb");
    static int argc = 1;
    static char program[] = "about_box_wm_test", *argv[] = {program, nullptr};
    QApplication app(argc, argv);

    QWidget owner;
    owner.setGeometry(40, 60, 320, 240);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    QTimer::singleShot(0, [&] {
        QWidget *box = nullptr;
        const bool framed = QTest::qWaitFor(
            [&] {
                box = QApplication::activeModalWidget();
                return box && box->windowHandle()->isExposed() &&
                       !box->windowHandle()->frameMargins().isNull();
            },
            10000);
        EXPECT_TRUE(framed) << "the About box was not shown framed";
        if (framed) {
            QRect frame;
            const QRect screen = box->screen()->geometry();
            // A loaded machine may take the manager a while to place it.
            EXPECT_TRUE(QTest::qWaitFor(
                [&] {
                    frame = box->windowHandle()->frameGeometry();
                    return std::abs(frame.x() - (screen.width() - frame.width()) / 2) <= 1 &&
                           std::abs(frame.y() - (screen.height() - frame.height()) / 2) <= 1;
                },
                5000))
                << "not centred on its frame: " << frame.x() << "," << frame.y();
            EXPECT_GT(frame.height(), box->height()) << "no title bar: not framed by the manager";
        }
        if (box)
            box->findChild<QPushButton *>(QStringLiteral("btDone"))->click();
    });
    showAboutBox(&owner);
}

} // namespace
