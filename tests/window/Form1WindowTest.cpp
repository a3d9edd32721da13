// The main window as built and as it runs, from start-up to shutdown.
#include "WindowHarness.h"

#include "TransferDisplay.h"
#include "Twips.h"
#include "Uploader.h"
#include "frmAbout.h"

#include <QElapsedTimer>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <optional>
#include <sys/resource.h>

namespace {

const char *const Firmware = "veltrax_02092012.hex";

// Technicians and their instructions know the window by these names, captions and places.
TEST(Form1Window, elementsAndMenusAsDesigned)
{
    const struct {
        const char *name, *text;
        int left = 0, top = 0, width = 0, height = 0; // twips; none for a menu
        const char *parent = "";                      // "": the client area
    } rows[] = {
        // clang-format off
        {"Frame1", "File Information", 0, 0, 4695, 975}, {"Frame2", "Status", 0, 1080, 4695, 2295},
        {"lblFileName", "Label3", 120, 240, 3855, 495, "Frame1"},
        {"lblStatus", "Label1", 120, 360, 4335, 255, "Frame2"},
        {"lblComStatus", "Label1", 120, 1800, 4455, 255, "Frame2"},
        {"pbFile", "", 120, 2040, 4455, 255}, {"btnSend", "Send File", 1560, 2400, 1215, 375},
        {"btnStop", "Stop", 1560, 2400, 1215, 375}, {"Text1", "", 0, 3480, 4695, 5775},
        {"Text2", "Text2", 0, 9360, 4695, 615}, {"btnClear", "Clear", 0, 10080, 1095, 375},
        {"btnESC", "Send ESC", 1200, 10080, 1095, 375}, {"mDebug", "Debug"}, {"mAbout", "About"},
        {"mComPort", "Com Port"}, {"mCOM_1", "COM1"}, {"mCOM_16", "COM16"},
        {"mDebugChoice_1", "Debug Off"}, {"mDebugChoice_2", "Debug On"},
        // clang-format on
    };
    WindowHarness harness;
    Form1 &form = harness.make();
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const QObject *element = harness.element<QObject>(row.name);
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(element->property("title").toString() + element->property("text").toString() +
                      element->property("plainText").toString(),
                  row.text);
        if (const auto *widget = qobject_cast<const QWidget *>(element); widget && row.width) {
            EXPECT_EQ(widget->parentWidget(),
                      *row.parent ? harness.element(row.parent) : form.centralWidget());
            EXPECT_EQ(widget->geometry(), twipsRect(row.left, row.top, row.width, row.height));
        }
    }
    EXPECT_EQ(form.windowTitle(), QStringLiteral("ORV Veltrax Firmware Uploader"));
    frmAbout about; // every caption read whole, the 36 pt logo included
    for (const QLabel *label : about.findChildren<QLabel *>())
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
            << label->objectName().toStdString();
}

// An update holds the window inside Send File's hold: only the outermost release gives
// back what each element had. A failure escaping an event procedure is named with its code.
TEST(Form1Window, nestedHoldsReleaseAtTheOutermost_escapedFailuresNamed)
{
    WindowHarness harness;
    harness.deviceFails = true;
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
}

// Between two lines the transfer only notes what it shows: log, sent line and bar read back
// at once and reach the widgets on their own within a refresh, a burst laid out in one go.
TEST(Form1Window, transferUpdatesReadBackAtOnce_andReachTheWidgetsOnTheirOwn)
{
    WindowHarness harness;
    harness.writeFile("hexcfg.dat", "COM=1\r\nDBG=1\r\n");
    Form1 &form = harness.start();
    auto *log = harness.element<QPlainTextEdit>("Text1");
    auto *bar = harness.element<QProgressBar>("pbFile");
    int layouts = 0;
    QObject::connect(log, &QPlainTextEdit::textChanged, [&layouts] { ++layouts; });
    const auto transfer = [&](int lines, bool shownEach) {
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
    };
    form.setProgressRange(0, 300);
    transfer(300, false);
    EXPECT_EQ(form.logText(), QStringLiteral("6F ").repeated(300));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return harness.element<QPlainTextEdit>("Text2")->toPlainText() == ":line 300"; },
        1000));
    EXPECT_EQ(log->toPlainText().remove('\n'), form.logText());
    EXPECT_EQ(bar->value(), 100);
    EXPECT_EQ(layouts, 1);

    // A byte per entry: the newest stays in sight wherever the operator put the caret, at
    // a cost that does not grow with the log (entry by entry: the widget's, not the batching's).
    const qint64 first = transfer(2000, true);
    transfer(96000, false);
    log->moveCursor(QTextCursor::Start);
    const qint64 last = transfer(2000, true);
    EXPECT_LT(last, 4 * first + 100) << "first " << first << " ms, last " << last << " ms";
    EXPECT_EQ(log->toPlainText().remove('\n'), QStringLiteral("6F ").repeated(100300));
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

// Whatever hexcfg.dat holds, the window comes up usable (else COM1, normal view, no Send
// File), each view's lowest element whole even under a tall menu bar, the normal view
// without a strip of the log. Shutdown writes the choices back; a full disk or a file
// that cannot be created keeps what was there, and says so.
TEST(Form1Startup, fromPreparedFolder_andShutdownWritesTheChoicesBack)
{
    enum Fault { None, FolderInPlace, DiskFull };
    const struct {
        std::optional<QByteArray> prefs;
        bool firmware;
        int refused, port;            // port 0: fell back to COM1, neither tried nor named
        const char *checks, *message; // message: the start of the one message shown
        Fault fault = None;           // at shutdown
        bool tallMenuBar = false;
    } rows[] = {
        // clang-format off
        {std::nullopt, true, 0, 0, "mCOM_1 mDebugChoice_1", "Prefs Error: 53 "},
        {"COM=3\r\nDBG=1\r\n", true, 0, 3, "mCOM_3 mDebugChoice_2", ""},
        {"COM=1\r\nDBG=0\r\n", false, 0, 1, "mCOM_1 mDebugChoice_1", ""},
        {"DBG=1\r\nCOM=3.0", true, 0, 1, "mCOM_1 mDebugChoice_2", ""},
        {"COM= 2.5 ", true, 0, 2, "mCOM_2", ""},
        {"COM=3.5\r\nDBG=0.0", true, 0, 4, "mCOM_4 mDebugChoice_1", ""},
        {"COM=5\r\nDBG=0", true, 5, 5, "mCOM_5 mDebugChoice_1", "Could not open Com5"},
        {"COM=0\r\nDBG=1\r\n", true, 0, 0, "mCOM_1 mDebugChoice_1", "Prefs Error: 340 "},
        {"COM=17\r\nDBG=1\r\nleft over", true, 0, 0, "mCOM_1 mDebugChoice_1", "Prefs Error: 340 ",
         None, true},
        {"COM=4\r\nDBG=x\r\n", true, 0, 0, "mCOM_1 mDebugChoice_1", "Prefs Error: 13 "},
        {"", true, 0, 0, "mCOM_1 mDebugChoice_1", "Prefs Error: 62 "},
        {std::nullopt, true, 0, 0, "mCOM_1 mDebugChoice_1", "Prefs Error: 53 ", FolderInPlace},
        {"COM=3\r\nDBG=1\r\n", true, 0, 3, "mCOM_3 mDebugChoice_2", "", DiskFull, true},
        // clang-format on
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.prefs.value_or("(none)").toStdString());
        WindowHarness harness;
        if (row.prefs)
            harness.writeFile("hexcfg.dat", *row.prefs);
        if (row.firmware)
            harness.writeFile(Firmware, ":00000001FF\r\n");
        // A folder in the file's place refuses it even to root.
        ASSERT_TRUE(row.fault != FolderInPlace || QDir(harness.folder.path()).mkdir("hexcfg.dat"));
        harness.refusedPort = row.refused;
        Form1 &form = harness.make();
        if (row.tallMenuBar)
            form.menuBar()->setStyleSheet(QStringLiteral("QMenuBar { padding: 30px; }"));
        form.Form_Load();
        form.show();
        EXPECT_EQ(harness.checks(), row.checks);
        const bool debugView = !harness.checks().contains("mDebugChoice_1");
        const int client = form.centralWidget()->height();
        const int lowest = harness.element(debugView ? "btnESC" : "Frame2")->geometry().bottom();
        if (row.tallMenuBar)
            EXPECT_EQ(client, lowest + 1);
        else if (debugView)
            EXPECT_EQ(form.frameGeometry().height(), twipsToPixels(11235));
        else
            EXPECT_TRUE(client > lowest && client <= harness.element("Text1")->y());
        EXPECT_EQ(harness.device->portsTried(), row.port > 1 ? QList{row.port} : QList<int>{});
        EXPECT_EQ(harness.device->settings(), (LineSettings{19200, 'N', 8, 1}));
        EXPECT_EQ(harness.text("lblComStatus"),
                  row.port ? QStringLiteral("Connected via Serial (COM%1)").arg(row.port) : "");
        const bool found = row.firmware && row.port;
        EXPECT_EQ(harness.text("lblFileName") + '|' + harness.text("lblStatus"),
                  found ? Firmware + QStringLiteral("|Valid file selected.")
                        : QStringLiteral("No Firmware Found|No Firmware Found"));
        EXPECT_EQ(harness.element("btnSend")->isEnabled(), found);
        EXPECT_EQ(harness.messages.shown.join('|').left(strlen(row.message)), row.message);
        EXPECT_LE(harness.messages.shown.size(), 1);

        harness.messages.shown.clear();
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY}, full{4, RLIM_INFINITY};
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, row.fault == DiskFull ? &full : &unlimited); // 4 bytes a file
        form.close();
        setrlimit(RLIMIT_FSIZE, &unlimited);
        EXPECT_EQ(harness.endProgramCalls, 1);
        EXPECT_EQ(harness.messages.shown,
                  row.fault ? QStringList{"Error creating prefs file!"} : QStringList());
        EXPECT_EQ(harness.readFile("hexcfg.dat"),
                  row.fault ? row.prefs.value_or("(none)")
                            : "COM=" + QByteArray::number(std::max(row.port, 1)) +
                                  "\r\nDBG=" + (debugView ? "1" : "0") + "\r\n");
    }
}

// Closing the window inside a wait of a running update ends the process there,
// with status 0: neither the update nor anything after it runs on.
TEST(Form1ShutdownDeathTest, closingDuringAnUpdateEndsTheProgramAtOnce)
{
    WindowHarness harness;
    harness.writeFile("hexcfg.dat", "COM=4\r\nDBG=0\r\n");
    harness.writeFile(Firmware, ":00000001FF\r\n");
    harness.endProgram = endProgramAtOnce;
    Form1 &form = harness.start();
    form.mCOM(12)->trigger();
    form.mDebugChoice(2)->trigger();
    EXPECT_GT(form.centralWidget()->height(), harness.element("btnESC")->geometry().bottom());
    EXPECT_EXIT(
        {
            QTimer::singleShot(0, &form, &QWidget::close);
            QTimer::singleShot(10000, [] { std::_Exit(2); }); // a hang is a failure too
            form.btnSend_Click();
            std::exit(1); // the update went on
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(harness.readFile("hexcfg.dat"), QByteArray("COM=12\r\nDBG=1\r\n"));
}

} // namespace
