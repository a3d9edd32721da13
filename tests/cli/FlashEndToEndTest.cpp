// veltrax-flash as a process against veltrax-sim processes on pseudo-terminals.
#include "FlashBench.h"
#include "UpdateEndings.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QString Firmware = QStringLiteral("veltrax_03152024.hex");
const QByteArray Reboot("\x1b\x01\x48\x01\x00\x49", 6), Reset("\x1b\x01\x3b\x01\x00\x3c", 6);

// What the program writes for a whole update of `hexFile`, lines up to `lines`.
QByteArray wire(const QByteArray &hexFile, int lines = 1 << 20)
{
    QByteArray bytes = Reboot + "quandrel\r\n\x05\x05\x05";
    for (const QByteArray &line : hexFile.trimmed().split('\n').mid(0, lines))
        bytes += '\x01' + QByteArray::fromHex(line.trimmed().mid(1));
    return bytes;
}

struct Expected {
    QString status;
    const UpdateEnding &ending;
    int linesSent /* -1: all */, simulatorExit;
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

    void check(const QString &port, BenchInstrument *instrument, const Expected &e)
    {
        SCOPED_TRACE(port.toStdString());
        const QJsonObject line = json()[port];
        const int sent = e.linesSent < 0 ? lines : e.linesSent;
        EXPECT_EQ(QStringList({line["status"].toString(), line["device"].toString()}),
                  QStringList({e.status, instrument ? instrument->device() : port}));
        const QString instrumentState = instrumentName(e.ending.instrument);
        EXPECT_EQ(std::tuple(line["exit_code"].toInt(), line["instrument"].toString(),
                             line["lines_sent"].toInt()),
                  std::tuple(e.ending.exitCode, instrumentState, sent));
        const QString transcript = transcriptsByPort(logs())[port];
        for (const QString &expected : {"status:          " + e.status + '\n',
                                        QStringLiteral("lines sent:      %1\n").arg(sent),
                                        QStringLiteral("(exit code %1)").arg(e.ending.exitCode),
                                        "instrument:      " + instrumentState + '\n'})
            EXPECT_TRUE(transcript.contains(expected)) << transcript.toStdString();
        if (!instrument)
            return;
        EXPECT_EQ(instrument->finish(), e.simulatorExit);
        const QByteArray received = instrument->log().received();
        const bool succeeded = e.ending == Ending::Succeeded;
        EXPECT_TRUE(succeeded ? received == wire(hexFile) + Reset + Reboot
                              : wire(hexFile, sent).startsWith(received))
            << "not what was due on the line";
        EXPECT_TRUE(!succeeded || instrument->image() == image) << "another image assembled";
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
    std::vector<std::unique_ptr<BenchInstrument>> instruments;
    for (int n = 1; n <= 4; ++n)
        instruments.push_back(std::make_unique<BenchInstrument>(
            folder, n, QStringList{"--no-pacing"} + faults[n - 1]));
    run({"COM1", "COM2", "COM3", "COM4", "/dev/veltrax-no-such-adapter"});
    EXPECT_EQ(finish(), Ending::ImageFailed.exitCode) << errors.toStdString();
    check("COM1", instruments[0].get(), {"Update Successful", Ending::Succeeded, -1, 0});
    check("COM2", instruments[1].get(), {"Failed at line 5 (NAK)", Ending::ImageFailed, 5, 4});
    // A hang-up of the line half-way through the image leaves it erased.
    check("COM3", instruments[2].get(), {"Communitcations error.", Ending::ImageFailed, 5, 4});
    check("COM4", instruments[3].get(),
          {"File sent UNsuccessfully! (Got Error)", Ending::ImageFailed, -1, 5});
    check("/dev/veltrax-no-such-adapter", nullptr,
          {"Communitcations error.", Ending::NotStarted, 0, 3});
}

// The first boot wait has no limit of its own: only the time limit ends it.
TEST_F(FlashEndToEnd, silentInstrument_endedByTheTimeLimit)
{
    useFirmware();
    BenchInstrument instrument(folder, 1, {"--no-pacing", "--silent"});
    run({"COM1"}, {"--yes", "--json", "--timeout", "1"});
    EXPECT_EQ(finish(), Ending::Stopped.exitCode) << errors.toStdString();
    check("COM1", &instrument, {"Stopped by user!", Ending::Stopped, 0, 3});
    EXPECT_TRUE(transcriptsByPort(logs())["COM1"].contains("stop pressed:    yes (time limit"));
}

// Ctrl-C presses Stop everywhere: COM1 stops after the line begun, its image gone; COM2,
// in the 5 s pause before the reset where Stop does nothing, ends at once at a second
// Ctrl-C, its new image in.
TEST_F(FlashEndToEnd, ctrlC_stopsEveryInstrument_secondCtrlCEndsAtOnce)
{
    useFirmware("4K");
    BenchInstrument one(folder, 1, {}), two(folder, 2, {"--no-pacing"});
    run({"COM1", "COM2"});
    ASSERT_TRUE(waitForErrors({"COM1: 10%", "COM2: Resetting Defaults"})) << errors.toStdString();
    interrupt();
    ASSERT_TRUE(waitForErrors({"COM1: Stopped by user!"})) << errors.toStdString();
    interrupt();
    EXPECT_EQ(finish(), Ending::ImageFailed.exitCode) << errors.toStdString();
    const int sent = json()["COM1"]["lines_sent"].toInt();
    check("COM1", &one, {"Stopped by user!", Ending::ImageFailed, sent, 4});
    EXPECT_TRUE(one.log().received() == wire(hexFile, sent));
    // Ended inside the pause: the reset's ESC never went out (check() holds the
    // wire to the image alone), however long a loaded machine took to get there.
    check("COM2", &two, {"Resetting Defaults", Ending::NotReset, -1, 6});
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
        BenchInstrument one(folder, 1, {"--no-pacing"}), two(folder, 2, {"--no-pacing"});
        errors.clear(), output.clear();
        run({"COM1", "COM2"}, QStringList(row.options).replaceInStrings("{DEVICE}", one.device()));
        EXPECT_EQ(finish(), row.exitCode);
        EXPECT_TRUE(errors.contains(row.says) && errors.contains("nothing sent"))
            << errors.toStdString();
        for (BenchInstrument *instrument : {&one, &two}) {
            EXPECT_EQ(instrument->finish(), 3) << "the monitor was entered";
            EXPECT_TRUE(instrument->log().received().isEmpty());
        }
        EXPECT_FALSE(QFileInfo::exists(logs()) && !QDir(logs()).isEmpty())
            << "a transcript of nothing";
    }
}

} // namespace
