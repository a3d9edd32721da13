// veltrax-ports on made-up adapters: there is no USB here, so the devices are
// files in a temporary folder and their stable names links beside them.
#include "PortsCommand.h"
#include "PseudoTerminal.h"
#include "QtPrinters.h"
#include "SystemSerialDevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

namespace {

const QString FtdiName = "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";

// Devices under dev/, each a link to a pseudo-terminal, a stable name for the FTDI one; in
// texts {root} is the folder of it all and {pts0} the FTDI one's pseudo-terminal.
struct Bench {
    Bench()
    {
        EXPECT_TRUE(QDir(dir.path()).mkpath("dev/serial/by-id") &&
                    QDir(dir.path()).mkpath("Veltrax"));
        for (int n = 0; n < 3; ++n)
            EXPECT_TRUE(!lines[n].slave().isEmpty() &&
                        QFile::link(lines[n].slave(), path("dev/ttyUSB%1").arg(n)));
        EXPECT_TRUE(QFile::link("../../ttyUSB0", path(FtdiName)));
        // A dual CP2105's two ports share a serial number.
        devices = {
            {path("dev/ttyUSB0"), "FTDI", "FT232R USB UART", "A1B2C3", 0x0403, 0x6001,
             path(FtdiName)},
            {path("dev/ttyUSB1"), "Silicon Labs", "CP2105 Dual", "00A1", 0x10c4, 0xea70, {}},
            {path("dev/ttyUSB2"), "Silicon Labs", "CP2105 Dual", "00A1", 0x10c4, 0xea70, {}},
        };
    }
    QString path(const QString &relative) const { return QDir(dir.path()).filePath(relative); }
    QString expand(QString text) const
    {
        return text.replace("{ftdi}", path(FtdiName))
            .replace("{root}", dir.path())
            .replace("{pts0}", lines[0].slave());
    }
    struct Run {
        int status;
        QString out, err;
    };
    // In `current`, with `home` (both under {root}) as the home folder.
    Run run(const QStringList &arguments, const QString &current = "dev",
            const QString &home = "") const
    {
        Run result{0, {}, {}};
        QTextStream out(&result.out), err(&result.err);
        const PortsEnvironment environment{path(home), path(current), [this] { return devices; }};
        result.status = runPortsCommand(arguments, environment, out, err);
        out.flush(), err.flush();
        return result;
    }

    QTemporaryDir dir;
    PseudoTerminal lines[3];
    QList<SerialDevice> devices;
};

TEST(PortsTool, listsEachDeviceWithItsIdentity_andWhereEachComEntryLeads)
{
    Bench b;
    // Present means a serial device is there, not just something.
    ASSERT_TRUE(QFile::link(b.path(FtdiName), b.path("Veltrax/COM3")) &&
                QFile::link(b.path("dev/ttyUSB9"), b.path("Veltrax/COM4")) &&
                QFile::link("/dev/null", b.path("Veltrax/COM5")) &&
                QFile::link(b.path("dev"), b.path("Veltrax/COM6")) &&
                QFile::link("/dev/zero", b.path("Veltrax/COM7")) &&
                QFile(b.path("dev/plain")).open(QIODevice::WriteOnly) &&
                QFile::link(b.path("dev/plain"), b.path("Veltrax/COM8")));
    const Bench::Run listed = b.run({});
    EXPECT_EQ(listed.status, 0);
    for (const char *line :
         {"Program folder: {root}/Veltrax (~/Veltrax: ",
          "  {root}/dev/ttyUSB0\n    maker     FTDI\n    product   FT232R USB UART\n"
          "    serial    A1B2C3\n    USB id    0403:6001\n    stable    {ftdi}\n"
          "    linked as COM3\n",
          "stable    none: a link to it names {root}/dev/ttyUSB1, which can change",
          "  COM3 -> {ftdi} (present, {pts0})\n",
          "  COM4 -> {root}/dev/ttyUSB9 (not present)\n",
          "  COM5 -> /dev/null (not a serial device: /dev/null is a character device)\n",
          "  COM6 -> {root}/dev (not a serial device: {root}/dev is a folder)\n",
          "  COM7 -> /dev/zero (not a serial device: /dev/zero is a character device)\n",
          "  COM8 -> {root}/dev/plain (not a serial device: {root}/dev/plain is a regular file)\n"})
        EXPECT_TRUE(listed.out.contains(b.expand(line))) << line << "\n"
                                                         << listed.out.toStdString();
}

// The device by name, stable name or serial number; COMn pointed at its stable name.
TEST(PortsTool, linkPointsComAtTheChosenDevice_replacesOnlyLinks)
{
    Bench b;
    ASSERT_TRUE(QFile(b.path("Veltrax/COM5")).open(QIODevice::WriteOnly) &&
                QFile::link(b.path("dev/gone"), b.path("Veltrax/COM7")));
    const struct {
        QStringList arguments;
        int status;
        QString err;       // a part of it; empty: nothing
        const char *entry; // the COMn entry
        QString linkAfter; // its target afterwards; empty: no link
    } rows[] = {
        {{"link", "3", "A1B2C3"}, 0, "", "COM3", "{ftdi}"},
        {{"link", "7", "{ftdi}"}, 0, "", "COM7", "{ftdi}"},
        {{"link", "4", "ttyUSB1"}, 0, "ttyUSB1 has no stable", "COM4", "{root}/dev/ttyUSB1"},
        {{"link", "9", "00A1"}, 1, "fits 2 devices ({root}/dev/ttyUSB1, {root}", "COM9", ""},
        {{"link", "5", "A1B2C3"}, 1, "COM5 is a regular file, not a link", "COM5", ""},
        {{"link", "17", "A1B2C3"}, 2, "\"17\" is not a port from 1 to 16", "COM1", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const Bench::Run result =
            b.run(QStringList(row.arguments).replaceInStrings("{ftdi}", b.expand("{ftdi}")));
        EXPECT_EQ(result.status, row.status);
        EXPECT_TRUE(row.err.isEmpty() ? result.err.isEmpty()
                                      : result.err.contains(b.expand(row.err)))
            << result.err.toStdString();
        EXPECT_EQ(QFileInfo(b.path("Veltrax/") + row.entry).symLinkTarget(),
                  b.expand(row.linkAfter));
    }
    EXPECT_TRUE(QFileInfo(b.path("Veltrax/COM5")).isFile());
    EXPECT_EQ(
        QDir(b.path("Veltrax")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
        QStringList({"COM3", "COM4", "COM5", "COM7"}));
}

// The one folder rule veltrax-flash shares: --folder, else a current folder that holds
// hexcfg.dat, a COMn link or a firmware file, else ~/Veltrax, else the current folder.
TEST(PortsTool, folderRule_givenThenMarkedCurrentThenVeltraxThenCurrent)
{
    Bench b;
    const QDir root(b.dir.path());
    ASSERT_TRUE(root.mkpath("prefs") && root.mkpath("linked") && root.mkpath("firmware") &&
                root.mkpath("nearMiss/veltrax_01012024.hex") && root.mkpath("plainHome"));
    ASSERT_TRUE(QFile(b.path("prefs/hexcfg.dat")).open(QIODevice::WriteOnly) &&
                QFile::link(b.path("dev/gone"), b.path("linked/COM12")) &&
                QFile(b.path("firmware/veltrax_01012024.hex")).open(QIODevice::WriteOnly) &&
                QFile(b.path("nearMiss/COM1")).open(QIODevice::WriteOnly) &&
                QFile::link(b.path("dev/ttyUSB0"), b.path("nearMiss/COMX")));
    const struct {
        QStringList arguments;
        const char *current, *home;
        QString says; // "Program folder: ..." on the output, or a refusal on the error stream
    } rows[] = {
        {{"--folder", "../firmware"}, "prefs", "", "Program folder: {root}/firmware (given with"},
        {{"--folder", "nowhere"}, "prefs", "", "veltrax-ports: the folder nowhere does not exist"},
        {{}, "prefs", "", "Program folder: {root}/prefs (the current folder, which holds hexcfg"},
        {{}, "linked", "", "Program folder: {root}/linked (the current folder, which holds a COMn"},
        {{}, "firmware", "", "Program folder: {root}/firmware (the current folder, which holds a"},
        {{}, "nearMiss", "", "Program folder: {root}/Veltrax (~/Veltrax: the current folder holds"},
        {{}, "nearMiss", "plainHome", "Program folder: {root}/nearMiss (the current folder: there"},
    };
    for (const auto &row : rows) {
        const Bench::Run result = b.run(row.arguments, row.current, row.home);
        EXPECT_EQ(result.status, row.says.startsWith("Program") ? 0 : 1) << row.current;
        EXPECT_TRUE((result.out + result.err).contains(b.expand(row.says)))
            << result.out.toStdString() << result.err.toStdString();
    }
}

} // namespace
