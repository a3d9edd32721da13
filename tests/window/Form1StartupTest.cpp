// Start-up from prepared program folders, and shutdown.
#include "Uploader.h"
#include "WindowHarness.h"

#include <QDir>
#include <QLabel>
#include <QTimer>
#include <cstdio>
#include <optional>

namespace {

const char *const Firmware = "veltrax_02092012.hex";

TEST(Form1Startup, fromPreparedFolder_portDebugAndFirmwareShown)
{
    const struct {
        const char *name;
        std::optional<QByteArray> prefs; // hexcfg.dat, if any; a firmware file is always present
        int refused;                     // a port that cannot be opened, or 0
        bool searchFails;
        QList<int> checked, tried;
        QPair<bool, bool> debugChecks;
        bool debugView;
        int comStatus;   // the port named in lblComStatus; 0: empty
        QString message; // the start of the one message shown, if any
    } rows[] = {
        // clang-format off
        {"noPrefs_com1CheckedNotTried", std::nullopt, 0, false, {1}, {}, {true, false}, false, 0, "Prefs Error: 53 "},
        {"com3Dbg1", "COM=3\r\nDBG=1\r\n", 0, false, {3}, {3}, {false, true}, true, 3, ""},
        {"com1_theControlsOwnPort_notTried", "COM=1\r\nDBG=0\r\n", 0, false, {1}, {}, {true, false}, false, 1, ""},
        {"onlyLinePositionsCount", "DBG=1\r\nCOM=3\r\nXYZ", 0, false, {1}, {}, {false, true}, true, 1, ""},
        {"oneLine_noDebugItemChecked", "COM= 2 ", 0, false, {2}, {2}, {false, false}, true, 2, ""},
        {"refusedPort_toldByTheLink", "COM=5\r\nDBG=0", 5, false, {5}, {5}, {true, false}, false, 5, "Could not open Com5"},
        {"com0", "COM=0\r\nDBG=1\r\n", 0, false, {1}, {}, {true, false}, false, 0, "Prefs Error: 340 "},
        {"com17", "COM=17\r\nDBG=1\r\n", 0, false, {1}, {}, {true, false}, false, 0, "Prefs Error: 340 "},
        {"dbgX", "COM=4\r\nDBG=x\r\n", 0, false, {1}, {}, {true, false}, false, 0, "Prefs Error: 13 "},
        {"searchFailsAfterPortIsSet_twoChecked", "COM=6\r\nDBG=1\r\n", 0, true, {1, 6}, {6}, {true, false}, false, 6, "Prefs Error: 76 "},
        // clang-format on
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        WindowHarness harness;
        if (row.prefs)
            harness.writeFile("hexcfg.dat", *row.prefs);
        harness.writeFile(Firmware, ":00000001FF\r\n");
        harness.refusedPorts = {row.refused};
        harness.searchFails = row.searchFails;
        Form1 &form = harness.start();

        EXPECT_EQ(harness.checkedPorts(), row.checked);
        EXPECT_EQ(harness.device().portsTried(), row.tried);
        EXPECT_EQ(harness.debugChecks(), row.debugChecks);
        EXPECT_EQ(harness.showsDebugView(), row.debugView);
        EXPECT_EQ(harness.element<QLabel>("lblComStatus")->text(),
                  row.comStatus ? QStringLiteral("Connected via Serial (COM%1)").arg(row.comStatus)
                                : QString());
        const bool fallback = row.message.startsWith("Prefs Error: ");
        const QString noFirmware = QStringLiteral("No Firmware Found");
        EXPECT_EQ(harness.element<QLabel>("lblFileName")->text(), fallback ? noFirmware : Firmware);
        EXPECT_EQ(harness.element<QLabel>("lblStatus")->text(),
                  fallback ? noFirmware : QStringLiteral("Valid file selected."));
        EXPECT_EQ(harness.element<QPushButton>("btnSend")->isEnabled(), !fallback);
        if (!fallback) {
            EXPECT_EQ(form.firmwarePath(), QDir(harness.folder()).filePath(Firmware));
        }
        EXPECT_EQ(harness.messages.shown.size(), row.message.isEmpty() ? 0 : 1);
        EXPECT_EQ(harness.messages.shown.value(0).left(row.message.size()), row.message);
        EXPECT_EQ(harness.device().settings(), (LineSettings{19200, 'N', 8, 1}));
    }
}

TEST(Form1Shutdown, writesPreferencesOrSaysItCouldNot_andEndsTheProgram)
{
    const struct {
        const char *name;
        std::optional<QByteArray> prefsAtStart;
        int pickPort, pickDebug; // 0: none
        QByteArray written;      // empty: the file cannot be created
    } rows[] = {
        {"firstRun", std::nullopt, 0, 0, "COM=1\r\nDBG=0\r\n"},
        {"oneLine", "COM=2", 0, 0, "COM=2\r\nDBG=1\r\n"},
        {"operatorChoices", "COM=3\r\nDBG=0", 12, 2, "COM=12\r\nDBG=1\r\n"},
        {"cannotCreate", std::nullopt, 9, 0, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        WindowHarness harness;
        if (row.prefsAtStart)
            harness.writeFile("hexcfg.dat", *row.prefsAtStart);
        Form1 &form = harness.start();
        if (row.pickPort)
            form.mCOM(row.pickPort)->trigger();
        if (row.pickDebug)
            form.mDebugChoice(row.pickDebug)->trigger();
        // A folder in the file's place refuses it even to root.
        if (row.written.isEmpty()) {
            ASSERT_TRUE(QDir(harness.folder()).mkdir("hexcfg.dat"));
        }
        harness.messages.shown.clear();

        form.close();
        EXPECT_EQ(harness.endProgramCalls, 1);
        EXPECT_EQ(harness.messages.shown, row.written.isEmpty()
                                              ? QStringList{"Error creating prefs file!"}
                                              : QStringList());
        if (!row.written.isEmpty()) {
            EXPECT_EQ(harness.readFile("hexcfg.dat"), row.written);
        }
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
    form.mDebugChoice(2)->trigger();
    EXPECT_EXIT(
        {
            QTimer::singleShot(0, &form, &QWidget::close);
            QTimer::singleShot(10000, [] { std::_Exit(2); }); // a hang is a failure too
            form.btnSend_Click();
            std::fprintf(stderr, "the update went on\n");
            std::exit(1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(harness.readFile("hexcfg.dat"), QByteArray("COM=4\r\nDBG=1\r\n"));
}

} // namespace
