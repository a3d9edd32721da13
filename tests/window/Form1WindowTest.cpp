// The window as built, its own event procedures, and what the dialogue does to it.
#include "WindowHarness.h"

#include "Twips.h"

#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <iostream>
#include <limits>

namespace {

TEST(Form1Window, elementsMatchTheDesign)
{
    struct Row {
        const char *name, *qtClass, *text, *parent; // parent "": the client area
        int left, top, width, height;
    };
    const Row rows[] = {
        {"Frame1", "QGroupBox", "File Information", "", 0, 0, 4695, 975},
        {"lblFileName", "QLabel", "Label3", "Frame1", 120, 240, 3855, 495},
        {"Frame2", "QGroupBox", "Status", "", 0, 1080, 4695, 2295},
        {"lblStatus", "QLabel", "Label1", "Frame2", 120, 360, 4335, 255},
        {"lblComStatus", "QLabel", "Label1", "Frame2", 120, 1800, 4455, 255},
        {"pbFile", "QProgressBar", "", "", 120, 2040, 4455, 255},
        {"btnSend", "QPushButton", "Send File", "", 1560, 2400, 1215, 375},
        {"btnStop", "QPushButton", "Stop", "", 1560, 2400, 1215, 375},
        {"Text1", "DebugLog", "", "", 0, 3480, 4695, 5775},
        {"Text2", "QPlainTextEdit", "Text2", "", 0, 9360, 4695, 615},
        {"btnClear", "QPushButton", "Clear", "", 0, 10080, 1095, 375},
        {"btnESC", "QPushButton", "Send ESC", "", 1200, 10080, 1095, 375},
    };
    WindowHarness harness;
    Form1 &form = harness.make();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto *widget = harness.element<QWidget>(row.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), row.qtClass);
        QString text = widget->property("title").toString() + widget->property("text").toString() +
                       widget->property("plainText").toString();
        EXPECT_EQ(text, QLatin1String(row.text));
        EXPECT_EQ(widget->parentWidget(),
                  *row.parent ? harness.element<QWidget>(row.parent) : form.centralWidget());
        EXPECT_EQ(widget->geometry(), twipsRect(row.left, row.top, row.width, row.height));
    }
    EXPECT_TRUE(harness.element<QPushButton>("btnStop")->isHidden());
    const auto *bar = harness.element<QProgressBar>("pbFile");
    EXPECT_EQ(qMakePair(bar->minimum(), bar->maximum()), qMakePair(0, 100));
    // The bar and the button over the Status frame are stacked above it.
    const QObjectList &stack = form.centralWidget()->children();
    for (const char *over : {"pbFile", "btnSend", "btnStop"})
        EXPECT_GT(stack.indexOf(harness.element<QWidget>(over)),
                  stack.indexOf(harness.element<QWidget>("Frame2")));
}

TEST(Form1Window, menusBorderAndKeyboardOrder)
{
    WindowHarness harness;
    Form1 &form = harness.start();
    QStringList bar, items;
    for (QAction *title : form.menuBar()->actions()) {
        bar << (title->menu() ? title->menu()->objectName() : title->objectName()) + '=' +
                   title->text();
        for (QAction *item : title->menu() ? title->menu()->actions() : QList<QAction *>())
            items << item->objectName() + '=' + item->text();
    }
    EXPECT_EQ(bar, QStringList({"mComPort=Com Port", "mDebug=Debug", "mAbout=About"}));
    QStringList expectedItems;
    for (int i = 1; i <= 16; ++i)
        expectedItems << QStringLiteral("mCOM_%1=COM%1").arg(i);
    EXPECT_EQ(items,
              expectedItems + QStringList({"mDebugChoice_1=Debug Off", "mDebugChoice_2=Debug On"}));

    EXPECT_EQ(form.windowTitle(), QStringLiteral("ORV Veltrax Firmware Uploader"));
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.centralWidget()->width(), 314);

    QStringList order;
    QWidget *first = harness.element<QWidget>("btnSend");
    for (QWidget *next = first; order.isEmpty() || next != first; next = next->nextInFocusChain()) {
        if (next->focusPolicy() & Qt::TabFocus && next->parentWidget() == form.centralWidget())
            order << next->objectName();
    }
    EXPECT_EQ(order, QStringList({"btnSend", "btnStop", "Text1", "btnClear", "Text2", "btnESC"}));
}

// The outer height is given in twips; where the platform's title and menu bars
// take more of it than the classic ones did, the window grows just enough to
// show the view's lowest element whole.
TEST(Form1Window, viewHeights)
{
    struct Row {
        const char *name;
        int pick; // the Debug item clicked; 0: neither checked
        bool tallMenuBar;
        int outerTwips;
        const char *lowest;
    };
    const Row rows[] = {
        {"Debug Off", 1, false, 4125, "Frame2"},
        {"Debug On", 2, false, 11235, "btnESC"},
        {"neither checked", 0, false, 11235, "btnESC"},
        {"Debug Off, tall menu bar", 1, true, 4125, "Frame2"},
        {"Debug On, tall menu bar", 2, true, 11235, "btnESC"},
    };
    for (const Row &row : rows) {
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
        const int lowestBottom = harness.element<QWidget>(row.lowest)->geometry().bottom() + 1;
        EXPECT_EQ(form.centralWidget()->geometry().bottom() + 1, form.height());
        EXPECT_EQ(harness.showsDebugView(), row.lowest == std::string("btnESC"));
        const bool debugView = row.lowest == std::string("btnESC");
        if (row.tallMenuBar) {
            EXPECT_EQ(client, lowestBottom);
        } else if (debugView) {
            EXPECT_EQ(outer, twipsToPixels(row.outerTwips));
        } else {
            // Never taller than the classic window, and never a strip of the debug log.
            EXPECT_LE(outer, twipsToPixels(row.outerTwips));
            EXPECT_GE(client, lowestBottom);
            EXPECT_LE(client, harness.element<QWidget>("Text1")->y());
        }
        std::cout << "[ figures  ] " << row.name << ", " << qPrintable(testApp().platformName())
                  << ": outer " << outer << " px, decoration " << outer - form.height()
                  << ", menu bar " << form.centralWidget()->y() << ", client " << client << "\n";
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
    EXPECT_EQ(controls.count(), 33);
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
    struct Row {
        const char *name;
        int selected, picked;
        bool refused;
        QList<int> tried; // beyond start-up's own trial
        QStringList messages;
    };
    const Row rows[] = {
        {"com2ToCom5", 2, 5, false, {5}, {}},
        {"com2ToRefusedCom5", 2, 5, true, {5}, {"Could not open Com5"}},
        {"com3Again_notTriedTwice", 3, 3, false, {}, {}},
    };
    for (const Row &row : rows) {
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

TEST(Form1Window, logCaretStaysAtTheEnd)
{
    WindowHarness harness;
    Form1 &form = harness.make();
    auto *log = harness.element<QPlainTextEdit>("Text1");
    QString expected;
    for (int i = 0; i < 300; ++i) {
        const QString entry = QString::number(i, 16).toUpper() + ' ';
        form.appendLog(entry);
        expected += entry;
        ASSERT_TRUE(log->textCursor().atEnd()) << i;
    }
    EXPECT_EQ(form.logText(), expected); // however the display wraps it
    harness.element<QPushButton>("btnClear")->click();
    EXPECT_EQ(log->toPlainText(), QString());
    EXPECT_EQ(log->textCursor().position(), 0);
}

// A transfer logs a byte per entry and repaints between reads.
TEST(Form1Window, logAppendCostDoesNotGrowWithTheLog)
{
    WindowHarness harness;
    harness.writeFile("hexcfg.dat", "COM=1\r\nDBG=1\r\n");
    Form1 &form = harness.start();
    constexpr int Entries = 100000, Batch = 2000;
    const auto timeBatch = [&] {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < Batch; ++i) {
            form.appendLog(QStringLiteral("6F "));
            QCoreApplication::processEvents();
        }
        return static_cast<double>(timer.nsecsElapsed()) / 1e6;
    };
    const double first = timeBatch();
    for (int i = 2 * Batch; i < Entries; ++i) {
        form.appendLog(QStringLiteral("6F "));
        if (i % 64 == 0)
            QCoreApplication::processEvents();
    }
    const double last = timeBatch();
    std::cout << "[ figures  ] " << Batch << " appends with repaint: first " << first
              << " ms, last (up to entry " << Entries << ") " << last << " ms\n";
    EXPECT_LT(last, 4 * first + 100);
    EXPECT_EQ(form.logText().size(), 3 * Entries);
    auto *log = harness.element<QPlainTextEdit>("Text1");
    EXPECT_TRUE(log->viewport()->rect().contains(log->cursorRect())) << "newest entry in sight";
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
        EXPECT_TRUE(form.progressValue() == row.value || row.value != row.value);
        EXPECT_EQ(harness.element<QProgressBar>("pbFile")->value(), row.shown);
    }
}

} // namespace
