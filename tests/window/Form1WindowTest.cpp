// The window's own event procedures, and what the dialogue does to it.
#include "WindowHarness.h"

#include "TransferDisplay.h"
#include "Twips.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTest>
#include <limits>

namespace {

// The outer height is given in twips; where the platform's title and menu bars
// take more of it than the classic ones did, the window grows just enough to
// show the view's lowest element whole.
TEST(Form1Window, debugChoice_setsTheHeightThatShowsItsView)
{
    const struct {
        const char *name;
        int pick; // the Debug item clicked; 0: neither checked
        bool tallMenuBar, debugView;
        int outerTwips;
    } rows[] = {
        {"Debug Off", 1, false, false, 4125},
        {"Debug On", 2, false, true, 11235},
        {"neither checked", 0, false, true, 11235},
        {"Debug Off, tall menu bar", 1, true, false, 4125},
        {"Debug On, tall menu bar", 2, true, true, 11235},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        WindowHarness harness;
        Form1 &form = harness.make();
        if (row.tallMenuBar)
            form.menuBar()->setStyleSheet(QStringLiteral("QMenuBar { padding: 30px; }"));
        form.show();
        if (row.pick) {
            form.mDebugChoice(3 - row.pick)->trigger();
            form.mDebugChoice(row.pick)->trigger();
            EXPECT_EQ(harness.debugChecks(), qMakePair(row.pick == 1, row.pick == 2));
        } else {
            form.ApplyDebugView();
        }
        const int client = form.centralWidget()->height();
        const int outer = form.frameGeometry().height();
        const char *lowest = row.debugView ? "btnESC" : "Frame2";
        const int lowestBottom = harness.element<QWidget>(lowest)->geometry().bottom() + 1;
        EXPECT_EQ(form.centralWidget()->geometry().bottom() + 1, form.height());
        EXPECT_EQ(harness.showsDebugView(), row.debugView);
        if (row.tallMenuBar) {
            EXPECT_EQ(client, lowestBottom);
        } else if (row.debugView) {
            EXPECT_EQ(outer, twipsToPixels(row.outerTwips));
        } else {
            // Never taller than the classic window, and never a strip of the debug log.
            EXPECT_LE(outer, twipsToPixels(row.outerTwips));
            EXPECT_GE(client, lowestBottom);
            EXPECT_LE(client, harness.element<QWidget>("Text1")->y());
        }
        // The bar and the button over the Status frame are stacked above it.
        const QObjectList &stack = form.centralWidget()->children();
        for (const char *over : {"pbFile", "btnSend", "btnStop"})
            EXPECT_GT(stack.indexOf(harness.element<QWidget>(over)),
                      stack.indexOf(harness.element<QWidget>("Frame2")));
    }
}

TEST(Form1Window, nestedHoldsReleaseOnlyAtTheOutermostRestore)
{
    WindowHarness harness;
    Form1 &form = harness.make();
    const ControlsCollection &controls = form.Controls();
    const auto inputStates = [&] {
        QStringList states;
        for (int i = 0; i < controls.count(); ++i) {
            if (!ControlsCollection::isPassedOver(controls.at(i).kind))
                states << controls.at(i).name + (controls.at(i).enabled() ? "+" : "-");
        }
        return states;
    };
    harness.element<QWidget>("Text2")->setEnabled(false); // must come back disabled
    const QStringList before = inputStates();
    ASSERT_EQ(before.size(), 28);
    EXPECT_TRUE(before.contains("Text2-") && before.contains("mAbout+") &&
                before.contains("mCOM_16+") && before.contains("mDebug+"));

    form.DisableControls();
    form.DisableControls();
    form.showStopButton(true);
    EXPECT_EQ(inputStates().filter("+"), QStringList({"btnStop+"}));
    EXPECT_TRUE(harness.element<QWidget>("btnSend")->isHidden());
    harness.element<QWidget>("Text2")->setEnabled(true); // undone by the release
    const QStringList held = inputStates();

    form.RestoreControls();
    EXPECT_EQ(globals::DisableDepth, 1);
    EXPECT_EQ(inputStates(), held) << "nothing restored yet";
    form.showStopButton(false);
    form.RestoreControls();
    EXPECT_EQ(globals::DisableDepth, 0);
    EXPECT_EQ(inputStates(), before);
    EXPECT_TRUE(harness.element<QWidget>("btnStop")->isHidden());
}

TEST(Form1Window, pickingAPortMovesTheCheckMarkAndNamesThePort)
{
    const struct {
        const char *name;
        int selected, picked;
        bool refused;
        QList<int> tried; // beyond start-up's own trial
        QStringList messages;
    } rows[] = {
        {"com2ToCom5", 2, 5, false, {5}, {}},
        {"com2ToRefusedCom5", 2, 5, true, {5}, {"Could not open Com5"}},
        {"com3Again_notTriedTwice", 3, 3, false, {}, {}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        WindowHarness harness;
        harness.writeFile("hexcfg.dat", "COM=" + QByteArray::number(row.selected));
        if (row.refused)
            harness.refusedPorts.insert(row.picked);
        Form1 &form = harness.start();
        const qsizetype triedAtStart = harness.device().portsTried().size();
        form.mCOM(row.picked)->trigger();
        EXPECT_EQ(harness.checkedPorts(), QList<int>({row.picked}));
        EXPECT_EQ(harness.element<QLabel>("lblComStatus")->text(),
                  QStringLiteral("Connected via Serial (COM%1)").arg(row.picked));
        EXPECT_EQ(harness.device().portsTried().mid(triedAtStart), row.tried);
        EXPECT_EQ(harness.messages.shown, row.messages);
        EXPECT_EQ(harness.device().openPort(), 0);
    }
}

// A transfer logs a byte per entry: the newest entry stays in sight, wherever
// the operator put the caret, at a cost that does not grow with the log.
TEST(Form1Window, logShowsItsNewestEntry_appendCostFlat_clearEmpties)
{
    WindowHarness harness;
    harness.writeFile("hexcfg.dat", "COM=1\r\nDBG=1\r\n");
    Form1 &form = harness.start();
    auto *log = harness.element<QPlainTextEdit>("Text1");
    constexpr int Entries = 100000, Batch = 2000;
    // Each entry shown and painted on its own: the widget's cost, not the batching's.
    const auto timeBatch = [&] {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < Batch; ++i) {
            form.appendLog(QStringLiteral("6F "));
            form.refreshDisplay();
            QCoreApplication::processEvents();
        }
        return static_cast<double>(timer.nsecsElapsed()) / 1e6;
    };
    const double first = timeBatch();
    for (int i = 2 * Batch; i < Entries; ++i) {
        form.appendLog(QStringLiteral("6F "));
        if (i % 64 == 0)
            form.refreshDisplay();
    }
    log->moveCursor(QTextCursor::Start); // the operator clicks into the log
    const double last = timeBatch();
    EXPECT_LT(last, 4 * first + 100) << "first " << first << " ms, last " << last << " ms";
    EXPECT_EQ(form.logText(), QStringLiteral("6F ").repeated(Entries)); // however it wraps
    EXPECT_EQ(log->toPlainText().remove(QLatin1Char('\n')), form.logText());
    EXPECT_TRUE(log->textCursor().atEnd());
    EXPECT_TRUE(log->viewport()->rect().contains(log->cursorRect())) << "newest entry in sight";
    form.appendLog(QStringLiteral("15 ")); // still waiting for its refresh
    harness.element<QPushButton>("btnClear")->click();
    QTest::qWait(2 * TransferDisplay::RefreshMs);
    EXPECT_EQ(log->toPlainText(), QString());
    EXPECT_EQ(form.logText(), QString());
}

// Between two lines the transfer only notes what it shows; the log, the sent
// line and the bar read back at once and reach the widgets by themselves
// within a refresh, a burst of entries laid out in one go.
TEST(Form1Window, transferUpdatesReadBackAtOnce_andReachTheWidgetsOnTheirOwn)
{
    WindowHarness harness;
    harness.writeFile("hexcfg.dat", "COM=1\r\nDBG=1\r\n");
    Form1 &form = harness.start();
    QCoreApplication::processEvents();
    auto *log = harness.element<QPlainTextEdit>("Text1");
    auto *sentLine = harness.element<QPlainTextEdit>("Text2");
    int layouts = 0;
    QObject::connect(log, &QPlainTextEdit::textChanged, [&layouts] { ++layouts; });
    constexpr int Lines = 300;
    form.setProgressRange(0, Lines);
    for (int i = 1; i <= Lines; ++i) {
        form.setSentLine(QStringLiteral(":line %1").arg(i));
        form.appendLog(QStringLiteral("6 "));
        form.setProgressValue(form.progressValue() + 1);
    }
    EXPECT_EQ(form.logText(), QStringLiteral("6 ").repeated(Lines));
    EXPECT_EQ(form.progressValue(), Lines);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return sentLine->toPlainText() == QStringLiteral(":line 300"); }, 1000));
    EXPECT_EQ(log->toPlainText().remove(QLatin1Char('\n')), form.logText());
    EXPECT_EQ(harness.element<QProgressBar>("pbFile")->value(), 100);
    EXPECT_EQ(layouts, 1);
}

TEST(Form1Window, progressReadsBackExactlyAndShowsClamped)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double minimum, maximum, value;
        int shown;
    } rows[] = {{0, 4031, 1007.75, 25}, {0, 1000, 1500, 100}, {10, 20, 5, 0},  {0, 0, 3, 0},
                {0, 6e9, 3e9, 50},      {0, 100, 1e300, 100}, {0, 100, nan, 0}};
    WindowHarness harness;
    Form1 &form = harness.make();
    for (const auto &row : rows) {
        SCOPED_TRACE(row.value);
        form.setProgressRange(row.minimum, row.maximum);
        form.setProgressValue(row.value);
        form.refreshDisplay();
        EXPECT_TRUE(form.progressValue() == row.value || row.value != row.value);
        EXPECT_EQ(harness.element<QProgressBar>("pbFile")->value(), row.shown);
    }
}

} // namespace
