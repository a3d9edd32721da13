// veltrax-ports on made-up adapters: there is no USB here, so the devices are
// files in a temporary folder and their stable names links beside them.
#include "DeviceChoice.h"
#include "PortsCommand.h"
#include "PortsError.h"
#include "QtPrinters.h"
#include "SystemSerialDevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const QString FtdiName = "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";

// A bench: four serial devices under dev/, udev's stable name for one of them
// under dev/serial/by-id, and a program folder. In expected texts {root}
// stands for the bench's folder and {ftdi} for the FTDI adapter's stable name.
struct Bench {
    Bench()
    {
        const QDir root(dir.path());
        EXPECT_TRUE(root.mkpath("dev/serial/by-id") && root.mkpath("dev/serial/by-path") &&
                    root.mkpath("Veltrax"));
        for (const char *node : {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyS0"})
            EXPECT_TRUE(QFile(path("dev/") + node).open(QIODevice::WriteOnly));
        EXPECT_TRUE(QFile::link("../../ttyUSB0", path(FtdiName)) &&
                    QFile::link("../../ttyUSB0", path("dev/serial/by-path/pci-0:1.2:1.0-port0")));
        // An FTDI adapter; a built-in UART; a dual CP2105 whose two ports
        // share one serial number, one without the vendor id, as a driver may leave it.
        devices = {
            {path("dev/ttyUSB0"), "FTDI", "FT232R USB UART", "A1B2C3", 0x0403, 0x6001,
             path(FtdiName)},
            {path("dev/ttyS0"), "", "", "", std::nullopt, std::nullopt, {}},
            {path("dev/ttyUSB1"), "Silicon Labs", "CP2105 Dual", "00A1", std::nullopt, 0xea70, {}},
            {path("dev/ttyUSB2"), "Silicon Labs", "CP2105 Dual", "00A1", 0x10c4, 0xea70, {}},
        };
    }
    QString path(const QString &relative) const { return QDir(dir.path()).filePath(relative); }
    QString expand(QString text) const
    {
        return text.replace("{ftdi}", path(FtdiName)).replace("{root}", dir.path());
    }
    struct Run {
        int status;
        QString out, err;
    };
    // {root} in the arguments is expanded too.
    Run run(QStringList arguments, const QString &home = {}) const
    {
        Run result{0, {}, {}};
        QTextStream out(&result.out), err(&result.err);
        const PortsEnvironment environment{home.isNull() ? dir.path() : home, path("dev"),
                                           [this] { return devices; }};
        result.status = runPortsCommand(arguments.replaceInStrings("{root}", dir.path()),
                                        environment, out, err);
        out.flush(), err.flush();
        return result;
    }

    QTemporaryDir dir;
    QList<SerialDevice> devices;
};

TEST(PortsTool, listsEachDeviceWithItsIdentity_andWhereEachComEntryLeads)
{
    Bench b;
    ASSERT_TRUE(QFile::link(b.path(FtdiName), b.path("Veltrax/COM3")) &&
                QFile::link(b.path("dev/ttyUSB9"), b.path("Veltrax/COM4")) &&
                QFile::link(b.path("dev/ttyUSB1"), b.path("Veltrax/COM12")) &&
                QFile(b.path("Veltrax/COM5")).open(QIODevice::WriteOnly));
    b.devices.removeLast(); // one port of the dual adapter is enough here
    const Bench::Run listed = b.run({});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.err, "");
    EXPECT_EQ(listed.out, b.expand(R"(Program folder: {root}/Veltrax

Serial devices:
  {root}/dev/ttyUSB0
    maker     FTDI
    product   FT232R USB UART
    serial    A1B2C3
    USB id    0403:6001
    stable    {ftdi}
    linked as COM3
  {root}/dev/ttyS0
    (no USB identity)
    stable    none: a link to it names {root}/dev/ttyS0, which can change
  {root}/dev/ttyUSB1
    maker     Silicon Labs
    product   CP2105 Dual
    serial    00A1
    USB id    ?:ea70
    stable    none: a link to it names {root}/dev/ttyUSB1, which can change
    linked as COM12

COM ports in {root}/Veltrax:
  COM3 -> {ftdi} (present, {root}/dev/ttyUSB0)
  COM4 -> {root}/dev/ttyUSB9 (not present)
  COM5 is not a link: the program opens {root}/Veltrax/COM5 as it is
  COM12 -> {root}/dev/ttyUSB1 (present)
  every other COMn opens /dev/ttyS<n-1>
)"));

    // Nothing plugged in, no links: the listing says so rather than printing nothing.
    Bench empty;
    empty.devices.clear();
    EXPECT_EQ(empty.run({"list"}).out, empty.expand(R"(Program folder: {root}/Veltrax

Serial devices: none found

COM ports in {root}/Veltrax:
  no COMn links: every COMn opens /dev/ttyS<n-1>
)"));
}

// udev's by-id folder: of two names for one device the first by name, every
// time; names that lead nowhere left out.
TEST(PortsTool, stableNames_leadToTheirDevice_deadOnesLeftOut)
{
    Bench b;
    ASSERT_TRUE(QFile::link("../../ttyUSB0", b.path("dev/serial/by-id/usb-0-second-name")) &&
                QFile::link("../../ttyUSB7", b.path("dev/serial/by-id/usb-unplugged")));
    const QHash<QString, QString> names = stableNames(b.path("dev/serial/by-id"));
    EXPECT_EQ(names, (QHash<QString, QString>{{QFileInfo(b.path("dev/ttyUSB0")).canonicalFilePath(),
                                               b.path("dev/serial/by-id/usb-0-second-name")}}));
    EXPECT_TRUE(stableNames(b.path("no such folder")).isEmpty());
}

TEST(PortsTool, deviceChosenByPathStableNameOrSerial_elseRefusedNamingTheCandidates)
{
    Bench b;
    const struct {
        QString which;
        QString chosen; // the device's path, or a part of the refusal
    } rows[] = {
        {"{root}/dev/ttyUSB0", "{root}/dev/ttyUSB0"},
        {"ttyUSB1", "{root}/dev/ttyUSB1"},
        {"{ftdi}", "{root}/dev/ttyUSB0"},
        {QFileInfo(FtdiName).fileName(), "{root}/dev/ttyUSB0"},
        {"{root}/dev/serial/by-path/pci-0:1.2:1.0-port0", "{root}/dev/ttyUSB0"},
        {"A1B2C3", "{root}/dev/ttyUSB0"},
        // Both ports of a dual adapter carry its serial number.
        {"00A1", "fits 2 devices ({root}/dev/ttyUSB1, {root}/dev/ttyUSB2)"},
        {"a1b2c3", "no serial device \"a1b2c3\""},
        {"{root}/dev/ttyUSB9", "no serial device"},
        // A file of the current folder is no device, whatever its name.
        {"ttyUSB", "no serial device"},
        {"", "no serial device"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.which.toStdString());
        try {
            EXPECT_EQ(chooseDevice(b.devices, b.expand(row.which)).systemLocation,
                      b.expand(row.chosen));
        } catch (const PortsError &refusal) {
            EXPECT_TRUE(refusal.description().contains(b.expand(row.chosen)))
                << refusal.description().toStdString();
        }
    }
}

TEST(PortsTool, linkPointsComAtTheStableName_replacesOnlyLinks)
{
    Bench b;
    ASSERT_TRUE(QFile(b.path("Veltrax/COM5")).open(QIODevice::WriteOnly) &&
                QDir(b.path("Veltrax")).mkdir("COM6") &&
                QFile::link(b.path("dev/gone"), b.path("Veltrax/COM7")));
    const QString made = "{folder}COM3 -> {ftdi} (now {root}/dev/ttyUSB0)\n";
    const struct {
        QStringList arguments;
        int status;
        QString out;       // {folder}: the "Program folder: " line
        QString err;       // a part of it; empty: nothing
        const char *entry; // the COMn entry
        QString linkAfter; // its target afterwards; empty: no link
    } rows[] = {
        // clang-format off
        {{"link", "3", "A1B2C3"}, 0, made, "", "COM3", "{ftdi}"},
        {{"link", "COM3", "{root}/dev/ttyUSB0"}, 0, made + "  unchanged: it led there already\n", "",
         "COM3", "{ftdi}"},
        // No stable name: the path, with a warning that it can change.
        {{"link", "3", "ttyS0"}, 0, "{folder}COM3 -> {root}/dev/ttyS0\n  replaces the link to {ftdi}\n",
         "warning: {root}/dev/ttyS0 has no stable /dev/serial/by-id name", "COM3", "{root}/dev/ttyS0"},
        {{"link", "7", "A1B2C3"}, 0,
         "{folder}COM7 -> {ftdi} (now {root}/dev/ttyUSB0)\n  replaces the link to {root}/dev/gone\n", "",
         "COM7", "{ftdi}"},
        // What is not a link stays as it is.
        {{"link", "5", "A1B2C3"}, 1, "{folder}", "COM5 is a file, not a link", "COM5", ""},
        {{"link", "6", "A1B2C3"}, 1, "{folder}", "COM6 is a folder, not a link", "COM6", ""},
        {{"link", "9", "nothing"}, 1, "{folder}", "no serial device \"nothing\"", "COM9", ""},
        {{"link", "3", "A1B2C3", "--folder", "{root}/missing"}, 1, "", "does not exist", "COM3",
         "{root}/dev/ttyS0"},
        {{"link", "17", "A1B2C3"}, 2, "", "\"17\" is not a port from 1 to 16", "COM1", ""},
        {{"link", "0", "A1B2C3"}, 2, "", "\"0\" is not a port from 1 to 16", "COM1", ""},
        {{"link", "3"}, 2, "", "link takes a port number and a device", "COM3", "{root}/dev/ttyS0"},
        {{"unlink", "3"}, 2, "", "unknown command \"unlink\"", "COM3", "{root}/dev/ttyS0"},
        {{"--force"}, 2, "", "unknown option --force", "COM3", "{root}/dev/ttyS0"},
        // clang-format on
    };
    const QString folderLine = "Program folder: " + b.path("Veltrax") + "\n";
    for (const auto &row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const Bench::Run result = b.run(row.arguments);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.out, b.expand(row.out).replace("{folder}", folderLine));
        EXPECT_TRUE(row.err.isEmpty() ? result.err.isEmpty()
                                      : result.err.contains(b.expand(row.err)))
            << result.err.toStdString();
        EXPECT_EQ(QFileInfo(b.path("Veltrax/") + row.entry).symLinkTarget(),
                  b.expand(row.linkAfter));
    }
    EXPECT_TRUE(QFileInfo(b.path("Veltrax/COM5")).isFile());
    EXPECT_TRUE(QFileInfo(b.path("Veltrax/COM6")).isDir());
    // No half-made link is left behind.
    EXPECT_EQ(
        QDir(b.path("Veltrax")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
        QStringList({"COM3", "COM5", "COM6", "COM7"}));
    // A folder that cannot be written (root may write anywhere).
    if (::geteuid() != 0 &&
        QFile::setPermissions(b.path("Veltrax"), QFile::ReadOwner | QFile::ExeOwner)) {
        const Bench::Run refused = b.run({"link", "9", "A1B2C3"});
        EXPECT_EQ(refused.status, 1);
        EXPECT_TRUE(refused.err.contains("cannot make a link in")) << refused.err.toStdString();
        QFile::setPermissions(b.path("Veltrax"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

// The folder is ~/Veltrax where it exists, else the current one, and is
// always named, so that a link never lands somewhere unnoticed.
TEST(PortsTool, programFolder_homeVeltraxElseCurrent_orAsGiven)
{
    Bench b;
    const auto folderUsed = [&b](const QStringList &arguments, const QString &home = {}) {
        return b.run(arguments, home).out.section('\n', 0, 0);
    };
    EXPECT_EQ(folderUsed({}), "Program folder: " + b.path("Veltrax"));
    EXPECT_EQ(folderUsed({}, b.path("dev")), "Program folder: " + b.path("dev"));
    EXPECT_EQ(folderUsed({"--folder", "serial"}), "Program folder: " + b.path("dev/serial"));
    EXPECT_EQ(folderUsed({"--folder={root}/dev/serial/by-id"}),
              "Program folder: " + b.path("dev/serial/by-id"));
    const Bench::Run missing = b.run({"--folder", "nowhere"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "veltrax-ports: the folder nowhere does not exist\n");
    EXPECT_EQ(b.run({"--folder"}).status, 2);
    const Bench::Run help = b.run({"link", "3", "x", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: veltrax-ports")) << help.out.toStdString();
}

} // namespace
