// veltrax-flash as a process against veltrax-sim processes on pseudo-terminals.
#include "FlashBench.h"
#include "UpdateEndings.h"
#include "UpdateWire.h"
#include "VeltraxVersion.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QString Firmware = QStringLiteral("veltrax_03152024.hex");
using e2e::transferWire;

// A pseudo-terminal of the test's own, to be a controlling terminal. The test
// keeps the other side open, so that it reads the master until the tool's side
// is opened and closed however the tool goes.
class Terminal {
public:
    Terminal()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        m_name = ::ptsname(m_master);
        m_side = ::open(m_name.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~Terminal()
    {
        hangUp();
        ::close(m_side);
    }
    QByteArray name() const { return m_name; }
    // Everything the tool wrote until `text` came, or `limitMs` passed.
    bool readUntil(const QByteArray &text, int limitMs = 20000)
    {
        for (const QDeadlineTimer limit(limitMs); !m_seen.contains(text) && !limit.hasExpired();) {
            pollfd ready{m_master, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(limit.remainingTime())) <= 0)
                break;
            char buffer[4096];
            const ssize_t count = ::read(m_master, buffer, sizeof buffer);
            if (count <= 0)
                break;
            m_seen.append(buffer, count);
        }
        return m_seen.contains(text);
    }
    void type(const QByteArray &text) { ::write(m_master, text.constData(), text.size()); }
    // Closing the master side hangs the terminal up, as a closed SSH session does.
    void hangUp()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1, m_side = -1;
    QByteArray m_name, m_seen;
};

// How the tool is started: always in a session of its own (as under setsid),
// so that it never reaches the terminal of the person running the tests.
struct Session {
    QByteArray terminal;         // its controlling terminal; empty: none
    bool errorsOnTerminal = false; // standard error on it too, else a pipe
    bool hangUpIgnored = false;  // as nohup leaves it
    QString errorFile;           // standard error into this file instead
};

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
    // veltrax-flash in the bench folder, its standard input a pipe.
    void run(const QStringList &ports, const QStringList &options = {"--yes", "--json"},
             const Session &session = {})
    {
        QStringList all = options + QStringList{"--log", logs()};
        for (const QString &port : ports)
            all << "--port" << port;
        process.setWorkingDirectory(folder.path());
        if (!session.errorFile.isEmpty())
            process.setStandardErrorFile(session.errorFile);
        process.setChildProcessModifier([session] {
            ::setsid();
            if (!session.terminal.isEmpty()) {
                // The first terminal a session leader opens becomes its own.
                const int fd = ::open(session.terminal.constData(), O_RDWR);
                if (session.errorsOnTerminal)
                    ::dup2(fd, STDERR_FILENO);
            }
            if (session.hangUpIgnored)
                ::signal(SIGHUP, SIG_IGN);
        });
        process.start(program, all);
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
        const QString instrumentState = instrumentName(e.ending.instrument);
        EXPECT_EQ(std::tuple(line["exit_code"].toInt(), line["instrument"].toString(),
                             line["lines_sent"].toInt()),
                  std::tuple(e.ending.exitCode, instrumentState, sent));
        EXPECT_EQ(line["version"].toString(), VELTRAX_VERSION);
        const QString transcript = transcriptsByPort(logs())[port];
        for (const QString &expected : {QStringLiteral("version:         " VELTRAX_VERSION "\n"),
                                        "status:          " + e.status + '\n',
                                        QStringLiteral("lines sent:      %1\n").arg(sent),
                                        QStringLiteral("(exit code %1)").arg(e.ending.exitCode),
                                        "instrument:      " + instrumentState + '\n'})
            EXPECT_TRUE(transcript.contains(expected)) << transcript.toStdString();
        if (!instrument)
            return;
        EXPECT_EQ(instrument->finish(), e.simulatorExit);
        const QByteArray received = instrument->log().received();
        const bool succeeded = e.ending == Ending::Succeeded;
        EXPECT_TRUE(succeeded ? received == transferWire(hexFile, lines) + e2e::ResetBytes +
                                                e2e::RebootBytes
                              : transferWire(hexFile, sent).startsWith(received))
            << "not what was due on the line";
        EXPECT_TRUE(!succeeded || instrument->image() == image) << "another image assembled";
    }

    ProgramFolder folder;
    QString program = QStringLiteral(VELTRAX_FLASH);
    QByteArray hexFile, image;
    int lines = 0;
    QProcess process;
    QString errors;
    QByteArray output;
};

// Four instruments each ending its own way, an adapter that cannot be opened and
// a device that is no serial port: none holds the others back; the worst decides
// the exit.
TEST_F(FlashEndToEnd, benchOfFour_eachEndsItsOwnWay_highestCodeWins)
{
    useFirmware();
    const QStringList faults[] = {{}, {"--nak-line", "5"}, {"--hangup-line", "5"}, {"--code-bad"}};
    std::vector<std::unique_ptr<SimulatedInstrument>> instruments;
    for (int n = 1; n <= 4; ++n)
        instruments.push_back(std::make_unique<SimulatedInstrument>(
            folder, n, QStringList{"--no-pacing"} + faults[n - 1]));
    run({"COM1", "COM2", "COM3", "COM4", "/dev/veltrax-no-such-adapter", "/dev/null"});
    EXPECT_EQ(finish(), Ending::ImageFailed.exitCode) << errors.toStdString();
    check("COM1", instruments[0].get(), {"Update Successful", Ending::Succeeded, -1, 0});
    check("COM2", instruments[1].get(), {"Failed at line 5 (NAK)", Ending::ImageFailed, 5, 4});
    // A hang-up of the line half-way through the image leaves it erased.
    check("COM3", instruments[2].get(), {"Communitcations error.", Ending::ImageFailed, 5, 4});
    check("COM4", instruments[3].get(),
          {"File sent UNsuccessfully! (Got Error)", Ending::ImageFailed, -1, 5});
    check("/dev/veltrax-no-such-adapter", nullptr,
          {"Communitcations error.", Ending::NotStarted, 0, 3});
    check("/dev/null", nullptr, {"Communitcations error.", Ending::NotStarted, 0, 3});
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
    EXPECT_TRUE(errors.contains("not a serial device: /dev/null is a character device"))
        << errors.toStdString();
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
    EXPECT_EQ(finish(), Ending::NotStarted.exitCode) << errors.toStdString();
    EXPECT_EQ(json()["COM1"]["instrument"].toString(), "unchanged");
    const QString says = "in use by veltrax-flash (process ";
    EXPECT_TRUE(errors.contains(says) && transcriptsByPort(logs())["COM1"].contains(says))
        << errors.toStdString();
    ::kill(static_cast<pid_t>(holder.processId()), SIGINT);
    EXPECT_TRUE(holder.waitForFinished(10000));
    EXPECT_EQ(instrument.log().received(), e2e::RebootBytes.left(1)) << "more than the holder's ESC";
}

// The time limit presses Stop up to the verdict: the first boot wait has no
// limit of its own, so only the time limit ends it. After the verdict it
// stops nothing: a limit that falls in the 5 s pause before the reset lets
// the update finish. Quiet: no statuses on the error stream, the ending still.
TEST_F(FlashEndToEnd, timeLimit_stopsOnlyBeforeTheVerdict)
{
    useFirmware();
    const struct {
        QString simulator, seconds, status;
        const UpdateEnding &ending;
        int linesSent, simulatorExit;
        QString stop;
        bool quiet;
        QString says; // why, on the error stream even when quiet
    } rows[] = {
        {"--silent", "1", "Stopped by user!", Ending::Stopped, 0, 3, "yes (time limit", true,
         "COM1: time limit of 1 s reached; Stop pressed"},
        {"--no-pacing", "5", "Update Successful", Ending::Succeeded, -1, 0, "no", false,
         "COM1: time limit reached after the verdict"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.simulator.toStdString());
        SimulatedInstrument instrument(folder, 1, {"--no-pacing", row.simulator});
        output.clear(), errors.clear();
        QDir(logs()).removeRecursively();
        run({"COM1"}, QStringList{"--yes", "--json", "--timeout", row.seconds} +
                          (row.quiet ? QStringList{"--quiet"} : QStringList{}));
        EXPECT_EQ(finish(), row.ending.exitCode) << errors.toStdString();
        check("COM1", &instrument, {row.status, row.ending, row.linesSent, row.simulatorExit});
        const QString transcript = transcriptsByPort(logs())["COM1"];
        EXPECT_TRUE(transcript.contains("stop pressed:    " + row.stop));
        // Never cut short: the transcript's start is written before the update begins.
        if (row.ending == Ending::Stopped) {
            const auto found = [&](const char *pattern) {
                return QRegularExpression(pattern).match(transcript).captured(1);
            };
            const QTime begun =
                QDateTime::fromString(found("start: +(\\S+)"), Qt::ISODateWithMs).time();
            const QTime pressed =
                QTime::fromString(found("time limit at (\\S+)\\)"), "HH:mm:ss.zzz");
            EXPECT_GE((begun.msecsTo(pressed) + 86400000) % 86400000, row.seconds.toInt() * 1000)
                << transcript.toStdString();
        }
        const bool statuses = errors.contains("Waiting for ACK or boot"),
                   firmwareLine = errors.contains("firmware "),
                   folderLine = errors.contains("veltrax-flash: folder ");
        EXPECT_TRUE(errors.contains("COM1: ended: " + row.status) && errors.contains(row.says) &&
                    statuses == !row.quiet && firmwareLine == !row.quiet &&
                    folderLine == !row.quiet)
            << errors.toStdString();
    }
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

// SIGTERM, as Ctrl-C, presses Stop everywhere: COM1 stops after the line begun, its image
// gone; COM2, in the 5 s pause before the reset where Stop does nothing, ends at once at
// a Ctrl-C after it, its new image in. The transcripts say which signal it was.
TEST_F(FlashEndToEnd, ctrlC_stopsEveryInstrument_secondCtrlCEndsAtOnce)
{
    useFirmware("4K");
    SimulatedInstrument one(folder, 1, {}), two(folder, 2, {"--no-pacing"});
    run({"COM1", "COM2"});
    ASSERT_TRUE(waitForErrors({"COM1: 10%", "COM2: Resetting Defaults"})) << errors.toStdString();
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(waitForErrors({"COM1: Stopped by user!"})) << errors.toStdString();
    interrupt();
    EXPECT_EQ(finish(), Ending::ImageFailed.exitCode) << errors.toStdString();
    const int sent = json()["COM1"]["lines_sent"].toInt();
    check("COM1", &one, {"Stopped by user!", Ending::ImageFailed, sent, 4});
    EXPECT_TRUE(one.log().received() == transferWire(hexFile, sent));
    EXPECT_TRUE(transcriptsByPort(logs())["COM1"].contains("stop pressed:    yes (SIGTERM at"));
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

// The question is asked and answered on the controlling terminal alone, with
// standard error in a file and standard input a pipe. No terminal, No and a
// hang-up at the question send nothing. A program removed while it asks (the
// package upgraded) still runs the updates it starts.
TEST_F(FlashEndToEnd, question_onTheControllingTerminalOnly)
{
    useFirmware();
    const struct {
        const char *name;
        bool terminal;
        QByteArray typed; // empty: the terminal hangs up
        bool yes;
        bool removedWhileAsking = false;
    } rows[] = {
        {"no terminal", false, {}, false},
        {"answered no", true, "n\n", false},
        {"hung up at the question", true, {}, false},
        {"Ctrl-C at the question", true, "\x03", false},
        {"Enter is yes", true, "\n", true},
        {"removed while asking", true, "y\n", true, true},
    };
    const QString errorFile = folder.scratchPath(QStringLiteral("errors.txt"));
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        SimulatedInstrument instrument(folder, 1, {"--no-pacing"});
        Terminal terminal;
        output.clear();
        QDir(logs()).removeRecursively();
        program = folder.scratchPath(QStringLiteral("veltrax-flash"));
        QFile::remove(program);
        ASSERT_TRUE(QFile::copy(QStringLiteral(VELTRAX_FLASH), program));
        run({"COM1"}, {"--json"}, {row.terminal ? terminal.name() : QByteArray(), false, false,
                                   errorFile});
        if (row.terminal) {
            EXPECT_TRUE(terminal.readUntil("factory defaults. [Y/n] "));
            // Standard error is a file: the terminal still says what is asked about.
            EXPECT_TRUE(terminal.readUntil("port COM1 opens " + instrument.device().toUtf8()));
            if (row.removedWhileAsking)
                QFile::remove(program);
            if (row.typed.isEmpty())
                terminal.hangUp();
            else
                terminal.type(row.typed);
        }
        const int code = finish();
        EXPECT_FALSE(e2e::readWhole(errorFile).contains("[Y/n]"));
        if (row.yes) {
            EXPECT_EQ(code, Ending::Succeeded.exitCode);
            check("COM1", &instrument, {"Update Successful", Ending::Succeeded, -1, 0});
            continue;
        }
        EXPECT_EQ(code, 1);
        const QJsonObject line = json()["COM1"];
        EXPECT_EQ(line["result"].toString() + ", " + line["instrument"].toString(),
                  "not started, " + instrumentName(InstrumentState::Unchanged));
        EXPECT_EQ(instrument.finish(), 3) << "the monitor was entered";
        EXPECT_TRUE(instrument.log().received().isEmpty());
    }
}

// A hang-up of the terminal in the middle of the transfer stops nothing,
// whether the tool catches it or was started with it ignored (nohup).
TEST_F(FlashEndToEnd, hangUpMidTransfer_updateCompletes)
{
    useFirmware("4K");
    for (const bool ignored : {false, true}) {
        SCOPED_TRACE(ignored ? "hang-up ignored" : "hang-up caught");
        SimulatedInstrument instrument(folder, 1, {});
        Terminal terminal;
        output.clear();
        QDir(logs()).removeRecursively();
        run({"COM1"}, {"--yes", "--json"}, {terminal.name(), true, ignored, {}});
        ASSERT_TRUE(terminal.readUntil("Sending file..."));
        terminal.hangUp();
        EXPECT_EQ(finish(), Ending::Succeeded.exitCode);
        check("COM1", &instrument, {"Update Successful", Ending::Succeeded, -1, 0});
        EXPECT_EQ(transcriptsByPort(logs())["COM1"].contains(
                      "hang-up  terminal hung up; the update went on"),
                  !ignored);
    }
}

// The update process of a port, as its parent's only child.
pid_t childOf(qint64 parent)
{
    const QByteArray children = e2e::readWhole(QStringLiteral("/proc/%1/task/%1/children").arg(parent));
    return static_cast<pid_t>(children.trimmed().split(' ').first().toInt());
}

// veltrax-flash killed: before the first ENQ its update process presses Stop,
// after it the process finishes; either way it writes its own ending into
// the transcript.
TEST_F(FlashEndToEnd, parentKilled_childStopsOnlyBeforeTheFirstEnq)
{
    useFirmware("4K");
    const struct {
        const char *name;
        QStringList simulator;
        QString killAt;
        QString status;
        const UpdateEnding &ending;
    } rows[] = {
        {"before the first ENQ", {"--silent"}, "COM1: Waiting for ACK or boot...",
         "Stopped by user!", Ending::Stopped},
        {"mid-transfer", {}, "COM1: Sending file...", "Update Successful", Ending::Succeeded},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        SimulatedInstrument instrument(folder, 1, row.simulator);
        errors.clear();
        QDir(logs()).removeRecursively();
        run({"COM1"});
        ASSERT_TRUE(waitForErrors({row.killAt})) << errors.toStdString();
        const pid_t child = childOf(process.processId());
        ASSERT_GT(child, 0);
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
        ASSERT_GE(pidfd, 0);
        ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
        finish();
        pollfd gone{pidfd, POLLIN, 0};
        const bool ended = ::poll(&gone, 1, 60000) == 1;
        if (!ended)
            ::kill(child, SIGKILL);
        ::close(pidfd);
        ASSERT_TRUE(ended) << "the update process is still running";
        const QString transcript = transcriptsByPort(logs())["COM1"];
        for (const QString &expected :
             {QStringLiteral("orphaned "), "status:          " + row.status + '\n',
              QStringLiteral("(exit code %1)").arg(row.ending.exitCode),
              "instrument:      " + instrumentName(row.ending.instrument) + '\n'})
            EXPECT_TRUE(transcript.contains(expected)) << transcript.toStdString();
        if (row.ending == Ending::Succeeded) {
            EXPECT_EQ(instrument.finish(), 0);
            EXPECT_TRUE(instrument.image() == image) << "another image assembled";
        }
    }
}

} // namespace
