// What veltrax-flash settles around an update: the firmware file a name
// gives, and progress as live or plain lines, a live line cut to its terminal.
#include "CheckedFirmware.h"
#include "LiveLines.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// A name that is no regular file says what it is, before anything is read.
TEST(FlashFirmwareName, whatIsNoRegularFile_isNamed)
{
    QTemporaryDir dir;
    const QDir folder(dir.path());
    ASSERT_TRUE(::mkfifo(QFile::encodeName(folder.filePath("pipe")).constData(), 0600) == 0 &&
                folder.mkdir("sub"));
    const struct {
        QString name, problem;
    } rows[] = {
        {folder.filePath("pipe"), "pipe: not a regular file but a FIFO"},
        {folder.filePath("sub"), "sub: not a regular file but a folder"},
        {"/dev/null", "/dev/null: not a regular file but a character device"},
        // What the command line makes of bytes that are not UTF-8.
        {folder.filePath("veltrax_\uFFFD.hex"), "no such file: the name given is not valid UTF-8"},
        {folder.filePath("missing.hex"), "missing.hex: no such file"},
    };
    for (const auto &row : rows) {
        const FirmwareChoice choice = chooseFirmware(row.name, dir.path());
        EXPECT_TRUE(!choice.firmware && choice.problem.endsWith(row.problem))
            << choice.problem.toStdString();
    }
}

TEST(FlashProgress, liveLinesOnlyWhereTheyCanBeRedrawn)
{
    const struct {
        bool terminal;
        const char *term;
        int rows;
        qsizetype instruments;
        bool live;
    } rows[] = {
        {true, "xterm", 24, 8, true},    {false, "xterm", 24, 8, false},
        {true, "dumb", 24, 8, false},    {true, "", 24, 8, false},
        {true, "xterm", 24, 23, true},   {true, "xterm", 24, 24, false},
        {true, "xterm", 10, 200, false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(wantLiveLines(row.terminal, row.term, row.rows, row.instruments), row.live)
            << row.term << " " << row.rows << " rows, " << row.instruments << " instruments";
}

// A narrow terminal cuts the port name first, then the status, then the times; never the
// percent or the exit code.
TEST(FlashProgress, narrowTerminal_cutsThePortNeverThePercent)
{
    const QString byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    const QStringList times{"  0:10", "  ETA 0:20"};
    const struct {
        QString port, lead, status, trail;
        int width;
        QString line;
    } rows[] = {
        {"COM1", "", "Sending file...", "   42%", 120,
         QString("COM1").leftJustified(byId.size()) + "  Sending file...   42%  0:10  ETA 0:20"},
        {"COM1", "", "Sending file...", "   42%", 79,
         QString("COM1").leftJustified(40) + "  Sending file...   42%  0:10  ETA 0:20"},
        {byId, "", "Sending file...", "   42%", 60,
         "..._A1B2C3-if00-port0  Sending file...   42%  0:10  ETA 0:20"},
        {byId, "", "Sending file...", "   42%", 40, "...port0  Sending    42%  0:10  ETA 0:20"},
        {byId, "", "Sending file...", "   42%", 22, "...port0     42%  0:10"},
        {byId, "[exit 10] ", "Failed at line 5 (NAK)", "", 26, "...port0  [exit 10]   0:10"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(fitLiveLine(row.port, static_cast<int>(byId.size()), row.lead, row.status,
                              row.trail, times, row.width),
                  row.line)
            << row.width;
}

} // namespace
