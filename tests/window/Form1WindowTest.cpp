// The main window as built and as it runs, from start-up to shutdown.
#include "WindowHarness.h"

#include "QtMessageBoxService.h"
#include "TransferDisplay.h"
#include "Twips.h"
#include "frmAbout.h"

#include <QAccessible>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleHints>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <csignal>
#include <optional>
#include <sys/resource.h>

namespace {

const char *const Firmware = "veltrax_02092012.hex";

// Technicians and their instructions know the window by these names and captions, in this
// order from the top left: the normal view shows the Status frame whole and nothing below it,
// the Debug view everything.
TEST(Form1Window, elementsAsDesigned_inOrder_eachViewShowsItsOwn)
{
    const struct {
        const char *name, *text;
        const char *frame = ""; // "": the client area
        bool inNormalView = true;
    } rows[] = {
        {"Frame1", "File Information"},
        {"lblFileName", "Label3", "Frame1"},
        {"Frame2", "Status"},
        {"lblStatus", "Label1", "Frame2"},
        {"pbFile", ""},
        {"btnSend", "Send File"},
        {"btnStop", "Stop"},
        {"lblComStatus", "Label1", "Frame2"},
        {"Text1", "", "", false},
        {"Text2", "Text2", "", false},
        {"btnClear", "Clear", "", false},
        {"btnESC", "Send ESC", "", false},
    };
    WindowHarness harness;
    Form1 &form = harness.make();
    form.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("ORV Veltrax Firmware Uploader"));
    EXPECT_EQ(form.width(), twipsToPixels(4710)); // inside the border
    EXPECT_EQ(harness.element("Frame2")->geometry(), twipsRect(0, 1080, 4695, 2295));
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

// An update holds the window inside Send File's hold: only the outermost release gives
// back what each element had. A failure escaping an event procedure is named with its code.
TEST(Form1Window, nestedHoldsReleaseAtTheOutermost_escapedFailuresNamed)
{
    WindowHarness harness;
    harness.deviceFails = true;
    harness.make().DisableControls(); // a window left held: the next starts afresh
    Form1 &form = harness.make();
    const auto inputStates = [&controls = form.Controls()] {
        QStringList states;
        for (int i = 0; i < controls.count(); ++i) {
            if (!ControlsCollection::isPassedOver(controls.at(i).kind))
                states << controls.at(i).name + (controls.at(i).enabled() ? "+" : "-");
        }
        return states;
    };
    harness.element("Text2")->setEnabled(false); // must come back disabled
    const QStringList before = inputStates();
    ASSERT_EQ(before.size(), 28); // the elements that take input, every menu and item
    form.DisableControls();
    form.DisableControls();
    form.showStopButton(true); // the one way out of an update
    form.RestoreControls();
    EXPECT_EQ(inputStates().filter("+"), QStringList({"btnStop+"})) << "released too early";
    form.RestoreControls();
    EXPECT_EQ(inputStates(), before);
    form.mCOM(5)->trigger();
    EXPECT_EQ(harness.messages.shown, QStringList{"Error 57 no adapter"});
    try {
        form.mDebugChoice(3);
        ADD_FAILURE() << "no Debug menu item 3";
    } catch (const UploaderError &failure) {
        EXPECT_EQ(failure.code(), ErrorCode::NoSuchMenuItem) << "not a port's error";
    }
}

// Sends `lines` lines as a transfer does, one log entry and a step of the bar each, every
// one shown at once or all left to the refresh; returns the milliseconds taken.
qint64 transfer(Form1 &form, int lines, bool shownEach)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i <= lines; ++i) {
        form.setSentLine(QStringLiteral(":line %1").arg(i));
        form.appendLog(QStringLiteral("6F "));
        form.setProgressValue(form.progressValue() + 1);
        if (shownEach) {
            form.refreshDisplay();
            QCoreApplication::processEvents();
        }
    }
    return timer.elapsed();
}

// Between two lines the transfer only notes what it shows: log, sent line and bar read back
// at once and reach the widgets on their own within a refresh, a burst laid out in one go.
TEST(Form1Window, transferUpdatesReadBackAtOnce_andReachTheWidgetsOnTheirOwn)
{
    WindowHarness harness;
    Form1 &form = harness.start("COM=1\r\nDBG=1\r\n");
    auto *log = harness.element<QPlainTextEdit>("Text1");
    auto *bar = harness.element<QProgressBar>("pbFile");
    int layouts = 0;
    QObject::connect(log, &QPlainTextEdit::textChanged, [&layouts] { ++layouts; });
    form.setProgressRange(0, 300);
    transfer(form, 300, false);
    EXPECT_EQ(form.logText(), QStringLiteral("6F ").repeated(300));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return harness.element<QPlainTextEdit>("Text2")->toPlainText() == ":line 300"; },
        1000));
    EXPECT_EQ(log->toPlainText().remove('\n'), form.logText());
    EXPECT_EQ(bar->value(), 100);
    EXPECT_EQ(layouts, 1);

    // The newest entry stays in sight wherever the operator put the caret.
    log->moveCursor(QTextCursor::Start);
    transfer(form, 200, true);
    EXPECT_TRUE(log->textCursor().atEnd() && log->viewport()->rect().contains(log->cursorRect()));
    form.appendLog(QStringLiteral("15 ")); // Clear also drops what waits for the refresh
    harness.element<QPushButton>("btnClear")->click();
    QTest::qWait(2 * TransferDisplay::RefreshMs);
    EXPECT_EQ(log->toPlainText() + form.logText(), QString());
    form.setSentLine(QStringLiteral(":alone")); // shown without a log entry to carry it
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return harness.element<QPlainTextEdit>("Text2")->toPlainText() == ":alone"; }, 1000));

    // The bar's scale is a file's size: past either end, an empty range, beyond an int or
    // no number at all, it shows the value clamped and reads it back as set.
    const double rows[][4] = {{0, 4031, 1007.75, 25}, {0, 1000, 1500, 100}, {10, 20, 5, 0},
                              {0, 0, 3, 0},           {0, 6e9, 3e9, 50},    {0, 100, qQNaN(), 0}};
    for (const auto &[minimum, maximum, value, shown] : rows) {
        form.setProgressRange(minimum, maximum);
        form.setProgressValue(value);
        form.refreshDisplay();
        EXPECT_TRUE(form.progressValue() == value || value != value) << value;
        EXPECT_EQ(bar->value(), shown) << value;
    }
}

// Entry by entry, a byte each, the log costs the same however long it has grown (the
// widget's own cost, not the batching's): the last 2000 after 100,000 take about as long
// as the first.
TEST(Form1WindowTimed, logEntryCost_doesNotGrowWithTheLog)
{
    WindowHarness harness;
    Form1 &form = harness.start("COM=1\r\nDBG=1\r\n");
    auto *log = harness.element<QPlainTextEdit>("Text1");
    const qint64 first = transfer(form, 2000, true);
    transfer(form, 96000, false);
    log->moveCursor(QTextCursor::Start);
    const qint64 last = transfer(form, 2000, true);
    EXPECT_LT(last, 4 * first + 100) << "first " << first << " ms, last " << last << " ms";
    EXPECT_EQ(log->toPlainText().remove('\n'), QStringLiteral("6F ").repeated(100000));
}

// A start-up case, its fields set by name: Start("COM=3...").opens(3).checked("mCOM_3")...
enum Trouble { None, FolderInPlace, DiskFull, UnusableFolder };
struct Start {
    explicit Start(std::optional<QByteArray> contents) : prefs(std::move(contents)) {}
    // clang-format off
    Start &noFirmware() { firmware = false; return *this; }
    Start &refusing(int port) { refused = port; return *this; }
    Start &opens(int port) { opened = port; return *this; }
    Start &checked(const char *items) { checks = items; return *this; }
    Start &says(const char *start) { message = start; return *this; }
    Start &with(Trouble what) { trouble = what; return *this; }
    // clang-format on

    std::optional<QByteArray> prefs; // hexcfg.dat
    bool firmware = true;
    int refused = 0;
    int opened = 0;           // 0: fell back to COM1, neither tried nor named
    const char *checks = "";  // the checked menu items
    const char *message = ""; // the start of the one message shown
    Trouble trouble = None;
};

// Whatever hexcfg.dat holds, the window comes up usable (else COM1, normal view, no Send
// File), showing the view checked, its lowest element whole even under a tall menu bar.
// Shutdown writes the choices back; a full disk or a file that cannot be created keeps what
// was there, and says so. A folder whose name the program could not read is no folder: the
// working directory, which holds files of those names, is never taken in its place.
TEST(Form1Startup, fromPreparedFolder_andShutdownWritesTheChoicesBack)
{
    const char *const FirstOff = "mCOM_1 mDebugChoice_1";
    // clang-format off
    const Start rows[] = {
        Start(std::nullopt).checked(FirstOff).says("Prefs Error: 53 "),
        Start("COM=3\r\nDBG=1\r\n").opens(3).checked("mCOM_3 mDebugChoice_2"),
        Start("COM=1\r\nDBG=0\r\n").noFirmware().opens(1).checked(FirstOff),
        Start("DBG=1\r\nCOM=3.0").opens(1).checked("mCOM_1 mDebugChoice_2"),
        Start("COM= 2.5 ").opens(2).checked("mCOM_2"),
        Start("COM=3.5\r\nDBG=0.0").opens(4).checked("mCOM_4 mDebugChoice_1"),
        Start("COM=1\r\nDBG=-1").opens(1).checked("mCOM_1 mDebugChoice_2"),
        Start("COM=1\r\nDBG=2\r\n").opens(1).checked("mCOM_1 mDebugChoice_2"),
        Start("COM=1\r\nDBG=0.5").opens(1).checked("mCOM_1 mDebugChoice_2"),
        Start("COM=5\r\nDBG=0").refusing(5).opens(5).checked("mCOM_5 mDebugChoice_1")
            .says("Could not open Com5"),
        Start("COM=0\r\nDBG=1\r\n").checked(FirstOff).says("Prefs Error: 340 "),
        Start("COM=17\r\nDBG=1\r\nleft over").checked(FirstOff).says("Prefs Error: 340 "),
        Start("COM=4\r\nDBG=x\r\n").checked(FirstOff).says("Prefs Error: 13 "),
        Start("").checked(FirstOff).says("Prefs Error: 62 "),
        Start(std::nullopt).checked(FirstOff).says("Prefs Error: 53 ").with(FolderInPlace),
        Start("COM=3\r\nDBG=1\r\n").opens(3).checked("mCOM_3 mDebugChoice_2").with(DiskFull),
        Start("COM=3\r\nDBG=1\r\n").checked(FirstOff).says("Prefs Error: 76 ").with(UnusableFolder),
        // clang-format on
    };
    const QString workingDirectory = QDir::currentPath();
    for (const auto &row : rows) {
        SCOPED_TRACE(row.prefs.value_or("(none)").toStdString() + " " +
                     std::to_string(row.trouble));
        WindowHarness harness;
        if (row.prefs)
            harness.writeFile("hexcfg.dat", *row.prefs);
        if (row.firmware)
            harness.writeFile(Firmware, ":00000001FF\r\n");
        // A folder in the file's place refuses it even to root.
        ASSERT_TRUE(row.trouble != FolderInPlace ||
                    QDir(harness.folder.path()).mkdir("hexcfg.dat"));
        if (row.trouble == UnusableFolder) {
            harness.programFolder = QString();
            ASSERT_TRUE(QDir::setCurrent(harness.folder.path()));
        }
        harness.refusedPort = row.refused;
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
        EXPECT_EQ(harness.device->settings(), (LineSettings{19200, 'N', 8, 1}));
        EXPECT_EQ(harness.text("lblComStatus"),
                  row.opened ? QStringLiteral("Connected via Serial (COM%1)").arg(row.opened) : "");
        const bool found = row.firmware && row.opened;
        EXPECT_EQ(harness.text("lblFileName") + '|' + harness.text("lblStatus"),
                  found ? Firmware + QStringLiteral("|Valid file selected.")
                        : QStringLiteral("No Firmware Found|No Firmware Found"));
        EXPECT_EQ(harness.element("btnSend")->isEnabled(), found);
        EXPECT_EQ(form.firmwarePath().isEmpty(), row.trouble == UnusableFolder);
        EXPECT_EQ(harness.messages.shown.join('|').left(strlen(row.message)), row.message);
        EXPECT_LE(harness.messages.shown.size(), 1);

        harness.messages.shown.clear();
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY}, full{4, RLIM_INFINITY};
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, row.trouble == DiskFull ? &full : &unlimited); // 4 bytes a file
        form.close();
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QDir::setCurrent(workingDirectory);
        EXPECT_EQ(harness.endProgramCalls, 1);
        EXPECT_EQ(harness.messages.shown,
                  row.trouble ? QStringList{"Error creating prefs file!"} : QStringList());
        EXPECT_EQ(harness.readFile("hexcfg.dat"),
                  row.trouble ? row.prefs.value_or("(none)")
                              : "COM=" + QByteArray::number(std::max(row.opened, 1)) +
                                    "\r\nDBG=" + (debugView ? "1" : "0") + "\r\n");
    }
}

// One port checked at a time, also for a port that cannot be opened or is picked again; the
// fallback after the remembered port was picked keeps its mark beside COM1.
TEST(Form1Window, menuCheckMarks_onePortChecked_fallbackKeepsTheEarlierOne)
{
    const struct {
        int refused, pick; // pick 0: none
        bool searchFails;
        const char *checks;
    } rows[] = {{0, 5, false, "mCOM_5 mDebugChoice_2"},
                {5, 5, false, "mCOM_5 mDebugChoice_2"},
                {0, 2, false, "mCOM_2 mDebugChoice_2"},
                {0, 0, true, "mCOM_1 mCOM_2 mDebugChoice_1"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.pick);
        WindowHarness harness;
        harness.refusedPort = row.refused;
        harness.searchFails = row.searchFails;
        Form1 &form = harness.start("COM=2\r\nDBG=1\r\n");
        if (row.pick)
            form.mCOM(row.pick)->trigger();
        EXPECT_EQ(harness.checks(), row.checks);
        EXPECT_EQ(form.ComPortNumber, row.pick ? row.pick : 1);
        EXPECT_EQ(harness.messages.shown.size(), row.refused || row.searchFails ? 1 : 0);
    }
}

// The window as technicians and their instructions know it beyond its elements: Stop hidden
// at start, the keyboard order, the menus in order, and the About box, which shows its title
// and version and holds the main window until Done.
TEST(Form1Window, fixedDetails_stopHiddenTabOrderMenusAndAboutBox)
{
    WindowHarness harness;
    Form1 &form = harness.start("COM=1\r\nDBG=1\r\n", Firmware);
    EXPECT_TRUE(harness.element("btnSend")->isVisible());
    EXPECT_FALSE(harness.element("btnStop")->isVisible());

    const QStringList focusable{"btnSend", "btnStop", "Text1", "btnClear", "Text2", "btnESC"};
    QStringList order;
    QWidget *next = harness.element("btnSend");
    for (int step = 0; step < 200 && order.size() < focusable.size(); ++step) {
        if (focusable.contains(next->objectName()) && !order.contains(next->objectName()))
            order << next->objectName();
        next = next->nextInFocusChain();
    }
    EXPECT_EQ(order, focusable);

    QStringList menus; // "name=caption" of every menu and item, in order
    for (const QAction *top : form.menuBar()->actions()) {
        const QMenu *menu = top->menu(); // About is an item of the bar itself
        menus << (menu ? menu->objectName() : top->objectName()) + '=' + top->text();
        for (const QAction *item : menu ? menu->actions() : QList<QAction *>())
            menus << item->objectName() + '=' + item->text();
    }
    QString expected = "mComPort=Com Port";
    for (int port = 1; port <= 16; ++port)
        expected += QStringLiteral(",mCOM_%1=COM%1").arg(port);
    EXPECT_EQ(menus.join(','), expected + ",mDebug=Debug,mDebugChoice_1=Debug Off,"
                                          "mDebugChoice_2=Debug On,mAbout=About");

    QWidget *clear = harness.element("btnClear");
    const auto clickClear = [&] { // as the window system delivers it, through the window
        QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {},
                          clear->mapTo(&form, clear->rect().center()));
    };
    QStringList seen; // title, version, modal box, log after a click on Clear meanwhile
    form.appendLog(QStringLiteral("6F "));
    form.refreshDisplay();
    QTimer::singleShot(0, [&] {
        QWidget *box = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (box = QApplication::activeModalWidget()); }));
        seen << box->windowTitle() << box->findChild<QLabel *>("lblRevDate")->text()
             << box->objectName();
        clickClear();
        seen << form.logText();
        box->findChild<QPushButton *>("btDone")->click();
    });
    form.mAbout_Click();
    EXPECT_EQ(seen, QStringList({"About...", "v1.01 02/09/2012", "frmAbout", "6F "}));
    clickClear();
    EXPECT_EQ(form.logText(), QString()) << "the main window takes input again";
}

// The message box on screen: the application's title, no icon, OK only or Yes and No with
// Yes the default; Escape (or closing) answers No. Its prompt is shown as written.
TEST(MessageBoxes, titleNoIconButtons_escapeIsNo_promptAsWritten)
{
    WindowHarness harness; // the application
    const QString prompt = QStringLiteral("Could not open veltrax_02092012<b>RC.hex &amp; COM3");
    const struct {
        bool question;
        Qt::Key key;
        bool answer;
    } rows[] = {{false, Qt::Key_Return, false},
                {false, Qt::Key_Escape, false},
                {true, Qt::Key_Return, true},
                {true, Qt::Key_Escape, false},
                {true, Qt::Key_Space, true}}; // Space on the button that has the focus: Yes
    for (const auto &row : rows) {
        SCOPED_TRACE(std::to_string(row.question) + " " + std::to_string(row.key));
        QtMessageBoxService messages;
        QStringList seen;
        QTimer::singleShot(0, [&] {
            QMessageBox *box = nullptr;
            ASSERT_TRUE(QTest::qWaitFor([&] {
                return (box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
            }));
            auto *label = box->findChild<QLabel *>("qt_msgbox_label");
            seen << box->windowTitle() << QString::number(box->icon())
                 << QString::number(box->standardButtons())
                 << (box->defaultButton() ? box->defaultButton()->text() : "no default")
                 << QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, row.key);
            if (QApplication::activeModalWidget() == box) {
                ADD_FAILURE() << "the key did not dismiss the box";
                box->reject();
            }
        });
        const bool answer =
            row.question ? messages.askYesNo(prompt) : (messages.showOk(prompt), false);
        EXPECT_EQ(answer, row.answer);
        const QMessageBox::StandardButtons buttons =
            row.question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
        EXPECT_EQ(seen, QStringList({"Veltrax Firmware Uploader", "0", QString::number(buttons),
                                     row.question ? "&Yes" : "no default", prompt}));
    }
}

// The second click of a double click on Stop lands on Send File, back in Stop's place once
// the update has ended: a mouse press there within the double-click interval starts
// nothing. The keyboard, a later click and the procedure itself are not held back.
TEST(Form1WindowTimed, doubleClickOnStop_secondClickOnSendFileStartsNothing)
{
    WindowHarness harness;
    Form1 &form = harness.start("COM=1\r\nDBG=0\r\n", Firmware);
    harness.messages.answerYes = false; // No: each update ends at once, Send File back
    QStyleHints *hints = QGuiApplication::styleHints();
    const int interval = hints->mouseDoubleClickInterval();
    hints->setMouseDoubleClickInterval(400);
    auto *send = harness.element<QPushButton>("btnSend");
    enum How { Click, DoubleClick, Space, Procedure };
    const struct {
        How how;
        int afterMs; // since Send File came back
        bool asked;
    } rows[] = {{Click, 0, false}, {DoubleClick, 0, false}, {Click, 250, false},
                {Space, 0, true},  {Procedure, 0, true},    {Click, 600, true}};
    for (const auto &row : rows) {
        SCOPED_TRACE(std::to_string(row.how) + " after " + std::to_string(row.afterMs));
        form.btnSend_Click();
        ASSERT_TRUE(send->isVisible());
        harness.messages.shown.clear();
        QTest::qWait(row.afterMs);
        if (row.how == Click)
            QTest::mouseClick(send, Qt::LeftButton);
        else if (row.how == DoubleClick)
            QTest::mouseDClick(send, Qt::LeftButton);
        else if (row.how == Space)
            QTest::keyClick(send, Qt::Key_Space);
        else
            form.btnSend_Click();
        EXPECT_EQ(harness.messages.shown.size(), row.asked ? 1 : 0);
    }
    hints->setMouseDoubleClickInterval(interval);
}

// A file name is shown as it is written, markup and all, in the window and the About box:
// what a reader of a label gets is the text itself. Every caption of the About box is read
// whole, the 36 pt logo included.
TEST(Form1Window, textsShownAsWritten_neverAsMarkup_aboutBoxCaptionsWhole)
{
    WindowHarness harness;
    const QString name = QStringLiteral("veltrax_02092012<b>RC.hex");
    Form1 &form = harness.start("COM=1\r\nDBG=0\r\n", name);
    EXPECT_EQ(harness.text("lblFileName"), name);
    form.setStatus(QStringLiteral("<i>Sending</i> file..."));
    frmAbout about;
    const QList<QLabel *> aboutLabels = about.findChildren<QLabel *>();
    const QList<QLabel *> labels = form.findChildren<QLabel *>() + aboutLabels;
    ASSERT_EQ(labels.size(), 3 + 7);
    for (QLabel *label : labels) {
        SCOPED_TRACE(label->objectName().toStdString());
        EXPECT_EQ(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name),
                  label->text());
        EXPECT_EQ(label->textFormat(), Qt::PlainText); // also for a text set later
        EXPECT_EQ(label->toolTip(), QString());
        EXPECT_TRUE(!aboutLabels.contains(label) ||
                    label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
    }
}

// The log's display breaks its lines, but the log has none: what the operator copies, a
// part or all of it, and what is read back as Text1's text are the entries as written.
TEST(Form1Window, copiedLog_isTheLogAsWritten_withoutDisplayBreaks)
{
    WindowHarness harness;
    Form1 &form = harness.start("COM=1\r\nDBG=1\r\n");
    for (int i = 0; i < 200; ++i)
        form.appendLog(QStringLiteral("%1 ").arg(i, 2, 16, QLatin1Char('0')).toUpper());
    form.refreshDisplay();
    auto *log = harness.element<QPlainTextEdit>("Text1");
    ASSERT_GT(log->blockCount(), 3) << "the display must break the log for this test";
    const QString written = form.logText();
    const int breakAt = log->document()->firstBlock().length() - 1;
    const struct {
        int from, to; // positions in the display, breaks counted; -1: all
        QString copied;
    } rows[] = {{3, breakAt + 1 + 6, written.mid(3, breakAt - 3 + 6)},
                {breakAt - 3, breakAt + 1, written.mid(breakAt - 3, 3)},
                {-1, -1, written}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.from);
        QTextCursor selection(log->document());
        if (row.from < 0) {
            selection.select(QTextCursor::Document);
        } else {
            selection.setPosition(row.from);
            selection.setPosition(row.to, QTextCursor::KeepAnchor);
        }
        log->setTextCursor(selection);
        QGuiApplication::clipboard()->clear();
        log->copy();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), row.copied);
    }
    EXPECT_EQ(log->property("plainText").toString(), written);
}

} // namespace
