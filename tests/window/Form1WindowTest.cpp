// The main window as built and as it runs, from start-up to shutdown.
#include "WindowHarness.h"

#include "PseudoTerminal.h"
#include "QtMessageBoxService.h"
#include "Twips.h"
#include "frmAbout.h"

#include <QAccessible>
#include <QClipboard>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleHints>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <csignal>
#include <sys/resource.h>

namespace {

const char *const Firmware = "veltrax_02092012.hex";

// Names, captions and order from the top left: the normal view shows the Status frame whole
// and nothing below it, the Debug view everything.
TEST(Form1Window, elementsAsDesigned_inOrder_eachViewShowsItsOwn)
{
    const struct {
        const char *name, *text;
        const char *frame = ""; // "": the client area
        bool inNormalView = true;
    } rows[] = {
        // clang-format off
        {"Frame1", "File Information"},  {"lblFileName", "Label3", "Frame1"},
        {"Frame2", "Status"},            {"lblStatus", "Label1", "Frame2"},
        {"pbFile", ""},                  {"btnSend", "Send File"},
        {"btnStop", "Stop"},             {"lblComStatus", "Label1", "Frame2"},
        {"Text1", "", "", false},        {"Text2", "Text2", "", false},
        {"btnClear", "Clear", "", false}, {"btnESC", "Send ESC", "", false},
    }; // clang-format on
    WindowHarness harness;
    Form1 &form = harness.make();
    form.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("ORV Veltrax Firmware Uploader"));
    EXPECT_EQ(form.width(), twipsToPixels(4710)); // inside the border
    EXPECT_EQ(harness.element("Frame2")->geometry(), twipsRect(0, 1080, 4695, 2295));
    EXPECT_FALSE(harness.element("btnStop")->isVisible());
    QStringList order; // the keyboard order of the elements that take the focus
    QWidget *next = harness.element("btnSend");
    for (int step = 0; step < 100 && order.size() < 6; ++step, next = next->nextInFocusChain())
        if (next->focusPolicy() != Qt::NoFocus && !order.contains(next->objectName()))
            order << next->objectName();
    EXPECT_EQ(order, QStringList({"btnSend", "btnStop", "Text1", "btnClear", "Text2", "btnESC"}));
    QStringList menus; // every menu and item in order; About is an item of the bar itself
    for (const QAction *top : form.menuBar()->actions()) {
        menus << top->text();
        for (const QAction *item : top->menu() ? top->menu()->actions() : QList<QAction *>())
            menus << item->text();
    }
    EXPECT_EQ(menus.join(','), "Com Port,COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8,COM9,COM10,COM11,"
                               "COM12,COM13,COM14,COM15,COM16,Debug,Debug Off,Debug On,About");
    for (const bool debugView : {false, true}) {
        form.mDebugChoice_Click(debugView ? 2 : 1);
        EXPECT_TRUE(!debugView || form.frameGeometry().height() == twipsToPixels(11235));
        const int client = form.centralWidget()->height();
        QPoint previous;
        for (const auto &row : rows) {
            SCOPED_TRACE(std::string(row.name) + (debugView ? " in the Debug view" : ""));
            const QWidget *element = harness.element(row.name);
            ASSERT_NE(element, nullptr);
            EXPECT_EQ(element->property("text").toString() + element->property("title").toString() +
                          element->property("plainText").toString(),
                      row.text);
            EXPECT_EQ(element->parentWidget(),
                      *row.frame ? harness.element(row.frame) : form.centralWidget());
            const QRect place(element->mapTo(form.centralWidget(), QPoint()), element->size());
            EXPECT_TRUE(std::pair(place.y(), place.x()) >= std::pair(previous.y(), previous.x()));
            previous = place.topLeft();
            if (debugView || row.inNormalView)
                EXPECT_LE(place.bottom(), client - 1) << "not shown whole";
            else
                EXPECT_GE(place.top(), client) << "shown in the normal view";
        }
    }
}

// Only the outermost release gives back what each element had; Stop stays the way out.
TEST(Form1Window, nestedHoldsReleaseAtTheOutermost)
{
    WindowHarness harness;
    harness.make().DisableControls(); // a window left held: the next starts afresh
    Form1 &form = harness.make();
    const auto enabled = [&controls = form.Controls()] {
        QStringList states;
        for (int i = 0; i < controls.count(); ++i) {
            if (!ControlsCollection::isPassedOver(controls.at(i).kind) && controls.at(i).enabled())
                states << controls.at(i).name;
        }
        return states;
    };
    harness.element("Text2")->setEnabled(false); // must come back disabled
    const QStringList before = enabled();
    ASSERT_FALSE(before.contains("Text2"));
    form.DisableControls();
    form.DisableControls();
    form.showStopButton(true);
    form.RestoreControls();
    EXPECT_EQ(enabled(), QStringList({"btnStop"})) << "released too early";
    form.RestoreControls();
    EXPECT_EQ(enabled(), before);
}

struct Start {
    std::optional<QByteArray> prefs; // hexcfg.dat
    int opened;                      // 0: fell back to COM1, neither tried nor named
    const char *checks, *message;    // the checked menu items, the start of the one message
    bool unusableFolder = false;     // as for a name in another encoding
};

// Whatever hexcfg.dat holds, the window comes up usable (else COM1, normal view), its lowest
// element whole even under a tall menu bar; shutdown writes the choices back. A folder whose
// name could not be read is no folder: the working directory is never taken in its place.
TEST(Form1Startup, fromPreparedFolder_andShutdownWritesTheChoicesBack)
{
    const char *const FirstOff = "mCOM_1 mDebugChoice_1";
    const QByteArray longLine = "COM=" + QByteArray(4091, ' ') + "3 \r\nDBG=1"; // 4097 characters
    const Start rows[] = {
        {std::nullopt, 0, FirstOff, "Prefs Error: 53 "},
        {"COM=3\r\nDBG=1\r\n", 3, "mCOM_3 mDebugChoice_2", ""},
        {"COM=4\r\nDBG=0\r\n", 4, "mCOM_4 mDebugChoice_1", ""},
        {"COM=1\r\nDBG=-1", 1, "mCOM_1 mDebugChoice_2", ""},
        {"COM=17\r\nDBG=1\r\n", 0, FirstOff, "Prefs Error: 340 "},
        {longLine, 0, FirstOff, "Prefs Error: 6 "},
        {"COM=3\r\nDBG=1\r\n", 0, FirstOff, "Prefs Error: 76 ", true},
    };
    const QString workingDirectory = QDir::currentPath();
    for (const auto &row : rows) {
        SCOPED_TRACE(row.prefs.value_or("(none)").left(20).toStdString() + " " +
                     std::to_string(row.unusableFolder));
        WindowHarness harness;
        if (row.prefs)
            harness.writeFile("hexcfg.dat", *row.prefs);
        harness.writeFile(Firmware, ":00000001FF\r\n");
        if (row.unusableFolder) {
            harness.programFolder = QString();
            ASSERT_TRUE(QDir::setCurrent(harness.folder.path()));
        }
        Form1 &form = harness.make();
        form.menuBar()->setStyleSheet(QStringLiteral("QMenuBar { padding: 30px; }"));
        form.Form_Load();
        form.show();
        EXPECT_EQ(harness.checks(), row.checks);
        const bool debugView = !harness.checks().contains("mDebugChoice_1");
        const int client = form.centralWidget()->height();
        EXPECT_EQ(client > harness.element("Text1")->y(), debugView);
        EXPECT_GT(client, harness.element(debugView ? "btnESC" : "Frame2")->geometry().bottom());
        EXPECT_EQ(harness.device->portsTried(), row.opened > 1 ? QList{row.opened} : QList<int>{});
        EXPECT_EQ(harness.text("lblComStatus"),
                  row.opened ? QStringLiteral("Connected via Serial (COM%1)").arg(row.opened) : "");
        EXPECT_EQ(harness.element("btnSend")->isEnabled(), row.opened != 0);
        EXPECT_EQ(harness.messages.shown.join('|').left(strlen(row.message)), row.message);
        EXPECT_LE(harness.messages.shown.size(), 1);

        harness.messages.shown.clear();
        form.close();
        QDir::setCurrent(workingDirectory);
        EXPECT_EQ(harness.endProgramCalls, 1);
        EXPECT_EQ(harness.messages.shown,
                  row.unusableFolder ? QStringList{"Error creating prefs file!"} : QStringList());
        EXPECT_EQ(harness.readFile("hexcfg.dat"),
                  row.unusableFolder ? *row.prefs
                                     : "COM=" + QByteArray::number(std::max(row.opened, 1)) +
                                           "\r\nDBG=" + (debugView ? "1" : "0") + "\r\n");
    }
}

// One port checked at a time, also for a port that cannot be opened.
TEST(Form1Window, menuCheckMarks_onePortChecked)
{
    for (const int refused : {0, 5}) {
        SCOPED_TRACE(refused);
        WindowHarness harness;
        harness.refusedPort = refused;
        Form1 &form = harness.start("COM=2\r\nDBG=1\r\n");
        form.mCOM(5)->trigger();
        EXPECT_EQ(harness.checks(), "mCOM_5 mDebugChoice_2");
        EXPECT_EQ(harness.messages.shown.size(), refused ? 1 : 0);
    }
}

// The About box shows its title and version and holds the main window until Done.
TEST(Form1Window, aboutBox_titleVersion_holdsTheMainWindow)
{
    WindowHarness harness;
    Form1 &form = harness.start("COM=1\r\nDBG=1\r\n", Firmware);
    QWidget *clear = harness.element("btnClear");
    const auto clickClear = [&] { // as the window system delivers it, through the window
        QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {},
                          clear->mapTo(&form, clear->rect().center()));
    };
    QStringList seen;
    form.appendLog(QStringLiteral("6F "));
    form.refreshDisplay();
    QTimer::singleShot(0, [&] {
        QWidget *box = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (box = QApplication::activeModalWidget()); }));
        seen << box->windowTitle() << box->findChild<QLabel *>("lblRevDate")->text();
        clickClear();
        seen << form.logText();
        box->findChild<QPushButton *>("btDone")->click();
    });
    form.mAbout_Click();
    EXPECT_EQ(seen, QStringList({"About...", "v1.01 02/09/2012", "6F "}));
    clickClear();
    EXPECT_EQ(form.logText(), QString()) << "the main window takes input again";
}

// The application's title, no icon, Yes the default, Escape answers No; the prompt as written.
TEST(MessageBoxes, titleNoIcon_yesDefault_escapeIsNo)
{
    WindowHarness harness; // the application
    const QString prompt = QStringLiteral("Could not open veltrax_02092012<b>RC.hex &amp; COM3");
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        SCOPED_TRACE(key);
        QtMessageBoxService messages;
        QStringList seen;
        QTimer::singleShot(0, [&] {
            QMessageBox *box = nullptr;
            ASSERT_TRUE(QTest::qWaitFor([&] {
                return (box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
            }));
            auto *label = box->findChild<QLabel *>("qt_msgbox_label");
            seen << box->windowTitle() << QString::number(box->icon())
                 << (box->defaultButton() ? box->defaultButton()->text() : "no default")
                 << QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, key);
            if (QApplication::activeModalWidget() == box) {
                ADD_FAILURE() << "the key did not dismiss the box";
                box->reject();
            }
        });
        EXPECT_EQ(messages.askYesNo(prompt), key == Qt::Key_Return);
        EXPECT_EQ(seen, QStringList({"Veltrax Firmware Uploader", "0", "&Yes", prompt}));
    }
}

// The second click of a double click on Stop lands on Send File, back in Stop's place once
// the update has ended: it starts nothing. A later click does.
TEST(Form1WindowTimed, doubleClickOnStop_secondClickOnSendFileStartsNothing)
{
    WindowHarness harness;
    Form1 &form = harness.start("COM=1\r\nDBG=0\r\n", Firmware);
    harness.messages.answerYes = false; // No: each update ends at once, Send File back
    QStyleHints *hints = QGuiApplication::styleHints();
    const int interval = hints->mouseDoubleClickInterval();
    hints->setMouseDoubleClickInterval(400);
    auto *send = harness.element<QPushButton>("btnSend");
    for (const int afterMs : {0, 600}) {
        SCOPED_TRACE(afterMs);
        form.btnSend_Click();
        harness.messages.shown.clear();
        QTest::qWait(afterMs);
        QTest::mouseClick(send, Qt::LeftButton);
        EXPECT_EQ(harness.messages.shown.size(), afterMs ? 1 : 0);
    }
    hints->setMouseDoubleClickInterval(interval);
}

// A file name is shown as written, markup and all.
TEST(Form1Window, fileNameShownAsWritten_neverAsMarkup)
{
    WindowHarness harness;
    const QString name = QStringLiteral("veltrax_02092012<b>RC.hex");
    harness.start("COM=1\r\nDBG=0\r\n", name);
    auto *label = harness.element<QLabel>("lblFileName");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), name);
}

// The display breaks the log's lines, but what the operator copies has none.
TEST(Form1Window, copiedLog_isTheLogAsWritten_withoutDisplayBreaks)
{
    WindowHarness harness;
    Form1 &form = harness.start("COM=1\r\nDBG=1\r\n");
    for (int i = 0; i < 200; ++i)
        form.appendLog(QStringLiteral("%1 ").arg(i, 2, 16, QLatin1Char('0')).toUpper());
    form.refreshDisplay();
    auto *log = harness.element<QPlainTextEdit>("Text1");
    ASSERT_GT(log->blockCount(), 3) << "the display must break the log for this test";
    const int breakAt = log->document()->firstBlock().length() - 1;
    QTextCursor selection(log->document());
    selection.setPosition(3);
    selection.setPosition(breakAt + 1 + 6, QTextCursor::KeepAnchor);
    log->setTextCursor(selection);
    QGuiApplication::clipboard()->clear();
    log->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), form.logText().mid(3, breakAt - 3 + 6));
}

// The "Com Port" items tell what each port opens, refreshed each time the menu opens;
// present means a serial device, and anything else there is named.
TEST(ComPortToolTips, nameWhatEachPortOpensAndWhetherItIsThere)
{
    WindowHarness h;
    const QDir dir(h.folder.path());
    const QString adapter = dir.filePath("ttyUSB0");
    const PseudoTerminal line;
    ASSERT_TRUE(QFile::link(line.slave(), adapter));
    ASSERT_TRUE(QFile::link(adapter, dir.filePath("COM2")) &&
                QFile::link("/dev/null", dir.filePath("COM3")) &&
                QFile::link(dir.path(), dir.filePath("COM4")));
    Form1 &form = h.start("COM=1\r\nDBG=0\r\n");
    auto *menu = h.element<QMenu>("mComPort");
    ASSERT_TRUE(menu && menu->toolTipsVisible());
    const auto shown = [&](int port) {
        emit menu->aboutToShow();
        QTextDocument document;
        document.setHtml(form.mCOM(port)->toolTip());
        return document.toPlainText().replace(QChar::LineSeparator, QLatin1Char('\n'));
    };
    const QString link = "Opens " + adapter + "\n(the link COM2 in the program folder)\n";
    EXPECT_TRUE(shown(1).startsWith("Opens /dev/ttyS0\n(no COM1 link in the program folder)\n"));
    EXPECT_EQ(shown(2), link + "Present now, as " + line.slave());
    EXPECT_TRUE(shown(3).endsWith("\nNot a serial device: /dev/null is a character device"));
    EXPECT_TRUE(shown(4).endsWith("\nNot a serial device: " + dir.path() + " is a folder"));
    ASSERT_TRUE(QFile::remove(adapter)); // unplugged after start-up
    EXPECT_EQ(shown(2), link + "Not present now");
}

} // namespace
