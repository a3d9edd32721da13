// veltrax-flash as a process against veltrax-sim processes on pseudo-terminals.
#include "FlashBench.h"
#include "UpdateWire.h"
#include "VeltraxVersion.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QString Firmware = QStringLiteral("veltrax_03152024.hex");
using e2e::transferWire;

struct Expected {
    QString status;
    int exitCode, linesSent /* -1: all */, simulatorExit;
};

class FlashEndToEnd : public ::testing::Test {
protected:
    void useFirmware(const QString &size = QStringLiteral("2K"))
    {
        image = folder.generateFirmware(QStringLiteral("03152024"), size);
        hexFile = folder.readFile(Firmware);
        lines = static_cast<int>(hexFile.trimmed().split('\n').size());
    }
    QString logs() const { return folder.scratchPath(QStringLiteral("logs")); }
    // veltrax-flash in the bench folder, its standard input a pipe (no terminal).
    void run(const QStringList &ports, const QStringList &options = {"--yes", "--json"})
    {
        QStringList all = options + QStringList{"--log", logs()};
        for (const QString &port : ports)
            all << "--port" << port;
        process.setWorkingDirectory(folder.path());
        process.start(QStringLiteral(VELTRAX_FLASH), all);
        process.waitForStarted();
    }
    void drain()
    {
        errors += QString::fromLocal8Bit(process.readAllStandardError());
        output += process.readAllStandardOutput();
    }
    bool waitForErrors(const QStringList &texts)
    {
        for (const QDeadlineTimer limit(20000); !limit.hasExpired(); process.waitForReadyRead(50)) {
            drain();
            if (std::all_of(texts.begin(), texts.end(),
                            [&](auto &t) { return errors.contains(t); }))
                return true;
        }
        return false;
    }
    void interrupt() { ::kill(static_cast<pid_t>(process.processId()), SIGINT); }
    int finish(int limitMs = 60000)
    {
        const bool ended = process.waitForFinished(limitMs);
        drain();
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    // The --json lines by port; stdout must hold nothing else.
    std::map<QString, QJsonObject> json() const
    {
        std::map<QString, QJsonObject> byPort;
        for (const QByteArray &line : output.split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (!line.isEmpty() &&
                (object.isEmpty() || !byPort.emplace(object["port"].toString(), object).second))
                ADD_FAILURE() << "not one JSON object a port: " << line.toStdString();
        }
        return byPort;
    }

    void check(const QString &port, SimulatedInstrument *instrument, const Expected &e)
    {
        SCOPED_TRACE(port.toStdString());
        const QJsonObject line = json()[port];
        const int sent = e.linesSent < 0 ? lines : e.linesSent;
        EXPECT_EQ(QStringList({line["status"].toString(), line["device"].toString()}),
                  QStringList({e.status, instrument ? instrument->device() : port}));
        EXPECT_EQ(std::pair(line["exit_code"].toInt(), line["lines_sent"].toInt()),
                  std::pair(e.exitCode, sent));
        EXPECT_EQ(line["version"].toString(), VELTRAX_VERSION);
        const QString transcript = transcriptsByPort(logs())[port];
        for (const QString &expected : {QStringLiteral("version:         " VELTRAX_VERSION "\n"),
                                        "status:          " + e.status + '\n',
                                        QStringLiteral("lines sent:      %1\n").arg(sent),
                                        QStringLiteral("(exit code %1)").arg(e.exitCode)})
            EXPECT_TRUE(transcript.contains(expected)) << transcript.toStdString();
        if (!instrument)
            return;
        EXPECT_EQ(instrument->finish(), e.simulatorExit);
        const QByteArray received = instrument->log().received();
        EXPECT_TRUE(e.exitCode ? transferWire(hexFile, sent).startsWith(received)
                               : received == transferWire(hexFile, lines) + e2e::ResetBytes +
                                                 e2e::RebootBytes)
            << "not what was due on the line";
        EXPECT_TRUE(e.exitCode || instrument->image() == image) << "another image assembled";
    }

    ProgramFolder folder;
    QByteArray hexFile, image;
    int lines = 0;
    QProcess process;
    QString errors;
    QByteArray output;
};

// Four instruments each ending its own way, and an adapter that cannot be opened:
// none holds the others back; the worst decides the exit.
TEST_F(FlashEndToEnd, benchOfFour_eachEndsItsOwnWay_highestCodeWins)
{
    useFirmware();
    const QStringList faults[] = {{}, {"--nak-line", "5"}, {"--hangup-line", "5"}, {"--code-bad"}};
    std::vector<std::unique_ptr<SimulatedInstrument>> instruments;
    for (int n = 1; n <= 4; ++n)
        instruments.push_back(std::make_unique<SimulatedInstrument>(
            folder, n, QStringList{"--no-pacing"} + faults[n - 1]));
    run({"COM1", "COM2", "COM3", "COM4", "/dev/veltrax-no-such-adapter"});
    EXPECT_EQ(finish(), 10) << errors.toStdString();
    check("COM1", instruments[0].get(), {"Update Successful", 0, -1, 0});
    check("COM2", instruments[1].get(), {"Failed at line 5 (NAK)", 10, 5, 4});
    check("COM3", instruments[2].get(), {"Communitcations error.", 8, 5, 4});
    check("COM4", instruments[3].get(), {"File sent UNsuccessfully! (Got Error)", 10, -1, 5});
    check("/dev/veltrax-no-such-adapter", nullptr, {"Communitcations error.", 3, 0, 3});
    // Before anything is sent: the folder used, then each port and the device it opens.
    EXPECT_TRUE(errors.contains("folder " + folder.path() + " (the current folder, which holds") &&
                errors.contains("port COM2 opens " + instruments[1]->device() + '\n'))
        << errors.toStdString();
    // A device path is named as given, and why it did not open is said.
    const QString gone = transcriptsByPort(logs())["/dev/veltrax-no-such-adapter"];
    for (const QString &text : {errors, gone})
        EXPECT_TRUE(text.contains("Could not open /dev/veltrax-no-such-adapter") &&
                    text.contains("/dev/veltrax-no-such-adapter: no such device"))
            << text.toStdString();
}

// A port another update holds is not opened a second time, and its holder is named.
TEST_F(FlashEndToEnd, heldPort_refused_namesItsHolder)
{
    useFirmware();
    SimulatedInstrument instrument(folder, 1, {"--no-pacing", "--silent"});
    QProcess holder;
    holder.setWorkingDirectory(folder.path());
    holder.setProcessChannelMode(QProcess::MergedChannels);
    holder.start(QStringLiteral(VELTRAX_FLASH), {"--yes", "--port", "COM1", "--timeout", "20"});
    QString held;
    for (const QDeadlineTimer limit(20000);
         !held.contains("COM1: Attempting") && !limit.hasExpired(); holder.waitForReadyRead(50))
        held += QString::fromLocal8Bit(holder.readAll());
    ASSERT_TRUE(held.contains("COM1: Attempting")) << held.toStdString();
    run({"COM1"});
    EXPECT_EQ(finish(), 3) << errors.toStdString();
    EXPECT_EQ(json()["COM1"]["exit_code"].toInt(), 3);
    const QString says = "in use by veltrax-flash (process ";
    EXPECT_TRUE(errors.contains(says) && transcriptsByPort(logs())["COM1"].contains(says))
        << errors.toStdString();
    ::kill(static_cast<pid_t>(holder.processId()), SIGINT);
    EXPECT_TRUE(holder.waitForFinished(10000));
    EXPECT_EQ(instrument.log().received(), e2e::RebootBytes.left(1)) << "more than the holder's ESC";
}

// The first boot wait has no limit of its own: only the time limit ends it. Quiet:
// no statuses on the error stream, but the ending still.
TEST_F(FlashEndToEnd, silentInstrument_endedByTheTimeLimit)
{
    useFirmware();
    SimulatedInstrument instrument(folder, 1, {"--no-pacing", "--silent"});
    run({"COM1"}, {"--yes", "--json", "--timeout", "1", "--quiet"});
    EXPECT_EQ(finish(), 7) << errors.toStdString();
    check("COM1", &instrument, {"Stopped by user!", 7, 0, 3});
    EXPECT_TRUE(transcriptsByPort(logs())["COM1"].contains("stop pressed:    yes (time limit"));
    EXPECT_TRUE(errors.contains("COM1: ended: Stopped by user!") &&
                !errors.contains("Waiting for ACK or boot") && !errors.contains("firmware "))
        << errors.toStdString();
}

// --check: the file an update would send, judged as the update judges it; no port.
TEST_F(FlashEndToEnd, check_tellsWhatWouldBeSent_opensNoPort)
{
    // Two records past a linear base and one past a segment base: two ranges.
    const QByteArray good = ":020000040001F9\r\n:0400000001020304F2\r\n:0400040005060708DE\r\n"
                            ":020000022000DC\r\n:02001000090ADB\r\n:00000001FF\r\n";
    const struct {
        QStringList options;
        QByteArray firmware;
        int exitCode;
        QByteArray output; // standard output, whole
        QString says;      // on standard error
    } rows[] = {
        {{"--check"},
         good,
         0,
         "firmware:   " + Firmware.toUtf8() + "\npath:       " + folder.filePath(Firmware).toUtf8() +
             "\nlines:      6\ndata bytes: 10\n"
             "range:      0x00010000-0x00010007 (8 bytes)\n"
             "range:      0x00020010-0x00020011 (2 bytes)\n"
             "sha256:     " +
             QCryptographicHash::hash(good, QCryptographicHash::Sha256).toHex() + "\n",
         ""},
        {{"--check", "--json", "--firmware", Firmware},
         good,
         0,
         R"({"data_bytes":10,"firmware":"veltrax_03152024.hex","lines":6,"path":")" +
             folder.filePath(Firmware).toUtf8() +
             R"(","ranges":[{"first":"0x00010000","last":"0x00010007"},)"
             R"({"first":"0x00020010","last":"0x00020011"}],"sendable":true,"sha256":")" +
             QCryptographicHash::hash(good, QCryptographicHash::Sha256).toHex() +
             R"(","version":")" VELTRAX_VERSION "\"}\n",
         ""},
        {{"--check"}, QByteArray(good).replace("ADB", "ADC"), 2, "", "line 5: its checksum"},
        {{"--check", "--port", "COM1"}, good, 1, "", "--check opens no port"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.options.join(' ').toStdString());
        folder.writeFile(Firmware, row.firmware);
        errors.clear(), output.clear();
        process.setWorkingDirectory(folder.path());
        process.start(QStringLiteral(VELTRAX_FLASH), row.options);
        EXPECT_EQ(finish(), row.exitCode) << errors.toStdString();
        EXPECT_EQ(output.toStdString(), row.output.toStdString());
        EXPECT_TRUE(errors.contains(row.says)) << errors.toStdString();
    }
}

// Ctrl-C presses Stop everywhere: COM1 stops after the line begun; COM2, in the 5 s pause
// before the reset where Stop does nothing, ends at once at a second Ctrl-C.
TEST_F(FlashEndToEnd, ctrlC_stopsEveryInstrument_secondCtrlCEndsAtOnce)
{
    useFirmware("4K");
    SimulatedInstrument one(folder, 1, {}), two(folder, 2, {"--no-pacing"});
    run({"COM1", "COM2"});
    ASSERT_TRUE(waitForErrors({"COM1: 10%", "COM2: Resetting Defaults"})) << errors.toStdString();
    QElapsedTimer clock;
    clock.start();
    interrupt();
    ASSERT_TRUE(waitForErrors({"COM1: Stopped by user!"})) << errors.toStdString();
    interrupt();
    EXPECT_EQ(finish(10000), 7) << errors.toStdString();
    EXPECT_LT(clock.elapsed(), 3000) << "waited for the reset pause";
    const int sent = json()["COM1"]["lines_sent"].toInt();
    check("COM1", &one, {"Stopped by user!", 7, sent, 4});
    EXPECT_TRUE(one.log().received() == transferWire(hexFile, sent));
    check("COM2", &two, {"Resetting Defaults", 6, -1, 6});
    EXPECT_TRUE(transcriptsByPort(logs())["COM2"].contains("killed at the second Ctrl-C"));
}

// Refusals: nothing reaches any line and no transcript of nothing is left.
TEST_F(FlashEndToEnd, refusals_sendNothing)
{
    const struct {
        QStringList options; // {DEVICE} stands for COM1's device
        QByteArray firmware; // empty: a generated one
        int exitCode;
        QString says;
    } rows[] = {
        {{"--json"}, {}, 1, "give --yes"},
        {{"--yes", "--port", "{DEVICE}"}, {}, 1, "name the same device"},
        // No guess for a COMn nobody linked: not the PC's own /dev/ttyS4.
        {{"--yes", "--json", "--port", "COM5"}, {}, 3, "no COM5 link in {FOLDER}; "},
        {{"--yes", "--json"},
         ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
         ":1000100010111213141516171819ZZ1B1C1D1E1F68\r\n:00000001FF\r\n",
         2,
         "Invalid File"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.says.toStdString());
        if (row.firmware.isEmpty())
            useFirmware();
        else
            folder.writeFile(Firmware, row.firmware);
        SimulatedInstrument one(folder, 1, {"--no-pacing"}), two(folder, 2, {"--no-pacing"});
        errors.clear(), output.clear();
        run({"COM1", "COM2"}, QStringList(row.options).replaceInStrings("{DEVICE}", one.device()));
        EXPECT_EQ(finish(), row.exitCode);
        EXPECT_TRUE(errors.contains(QString(row.says).replace("{FOLDER}", folder.path())) &&
                    errors.contains("nothing sent"))
            << errors.toStdString();
        for (SimulatedInstrument *instrument : {&one, &two}) {
            EXPECT_EQ(instrument->finish(), 3) << "the monitor was entered";
            EXPECT_TRUE(instrument->log().received().isEmpty());
        }
        EXPECT_FALSE(QFileInfo::exists(logs()) && !QDir(logs()).isEmpty())
            << "a transcript of nothing";
    }
}

} // namespace
