// The About box under a real window manager, where the frame (title bar and
// border) is not part of the client area: on its first showing the box is
// centred on its outer size, and a second showing finds it where it was left.
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
#include <gtest/gtest.h>
#include <memory>

namespace {

// A virtual X server with openbox managing it, for the test's lifetime.
class FramedDisplay {
public:
    ~FramedDisplay()
    {
        for (QProcess *process : {&m_manager, &m_server}) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
            process->waitForFinished(3000);
        }
    }

    // The display's name (":N"), or the reason there is none.
    QString start(QString &missing)
    {
        for (const char *tool : {"Xvfb", "openbox"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
                missing = QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
                return {};
            }
        }
        // The server picks a free display and writes its number to fd 1.
        m_server.start(QStringLiteral("Xvfb"),
                       {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        QByteArray number;
        if (!readUntil(m_server, "\n", number)) {
            missing = QStringLiteral("Xvfb did not start");
            return {};
        }
        const QString display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        m_manager.setProcessEnvironment(environment);
        // openbox runs its start-up command once it manages the screen.
        m_manager.start(QStringLiteral("openbox"),
                        {"--sm-disable", "--startup", "echo veltrax-wm-ready"});
        QByteArray said;
        if (!readUntil(m_manager, "veltrax-wm-ready", said)) {
            missing = QStringLiteral("openbox did not start");
            return {};
        }
        return display;
    }

private:
    // Collects the process's output until `marker` comes; false when it never does.
    static bool readUntil(QProcess &process, const QByteArray &marker, QByteArray &said)
    {
        while (!said.contains(marker) && process.waitForReadyRead(10000))
            said += process.readAllStandardOutput();
        return said.contains(marker);
    }

    QProcess m_server;
    QProcess m_manager;
};

bool hasXcbPlugin()
{
    return !QDir(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"))
                .entryList({QStringLiteral("*qxcb*")})
                .isEmpty();
}

// Shows the box as the About menu does and runs `whileShown` inside its modal
// showing, once the window manager has framed it; then presses Done.
void showAboutBoxAnd(QWidget &owner, const std::function<void(QWidget &box)> &whileShown)
{
    QTimer::singleShot(0, [&] {
        QWidget *box = nullptr;
        const bool framed = QTest::qWaitFor(
            [&] {
                box = QApplication::activeModalWidget();
                return box && box->windowHandle()->isExposed() &&
                       !box->windowHandle()->frameMargins().isNull();
            },
            10000);
        if (!framed) {
            ADD_FAILURE() << "the About box was not shown framed";
        } else {
            QTest::qWait(300); // let a late placement by the manager settle
            whileShown(*box);
        }
        if (box)
            box->findChild<QPushButton *>(QStringLiteral("btDone"))->click();
    });
    showAboutBox(&owner);
}

TEST(AboutBoxUnderAWindowManager, firstShowingCentresTheOuterFrame_secondFindsItAsLeft)
{
    if (!hasXcbPlugin())
        GTEST_SKIP() << "Qt's xcb platform plugin is not installed";
    FramedDisplay display;
    QString missing;
    const QString name = display.start(missing);
    if (name.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    qputenv("DISPLAY", name.toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    static int argc = 1;
    static char program[] = "about_box_wm_test", *argv[] = {program, nullptr};
    auto app = std::make_unique<QApplication>(argc, argv);

    QWidget owner;
    owner.setGeometry(40, 60, 320, 240);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));

    QRect first;
    showAboutBoxAnd(owner, [&](QWidget &box) {
        first = box.windowHandle()->frameGeometry();
        const QRect screen = box.screen()->geometry();
        EXPECT_GT(first.height(), box.height()) << "no title bar: not framed by the manager";
        EXPECT_NEAR(first.x(), (screen.width() - first.width()) / 2, 1);
        EXPECT_NEAR(first.y(), (screen.height() - first.height()) / 2, 1);
        EXPECT_EQ(QApplication::activeModalWidget(), &box);
        box.move(first.topLeft() + QPoint(-150, 100)); // the operator moves it aside
        QTest::qWait(300);
        first = box.windowHandle()->frameGeometry();
    });
    showAboutBoxAnd(owner,
                    [&](QWidget &box) { EXPECT_EQ(box.windowHandle()->frameGeometry(), first); });
}

} // namespace
