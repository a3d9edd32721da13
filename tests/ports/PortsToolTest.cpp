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

// A bench: four serial devices under dev/, udev's stable names for two of
// them under dev/serial/by-id, and a program folder.
struct Bench {
    Bench()
    {
        const QDir root(dir.path());
        EXPECT_TRUE(root.mkpath("dev/serial/by-id") && root.mkpath("dev/serial/by-path") &&
                    root.mkpath("Veltrax"));
        for (const char *node : {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyACM0", "ttyS0"})
            EXPECT_TRUE(QFile(path("dev/") + node).open(QIODevice::WriteOnly));
        EXPECT_TRUE(QFile::link("../../ttyUSB0", path(ftdiName)) &&
                    QFile::link("../../ttyACM0", path(acmName)) &&
                    QFile::link("../../ttyUSB0", path("dev/serial/by-path/pci-0:1.2:1.0-port0")));
        // An FTDI adapter with stable name; a dual CP2105 whose two ports share
        // one serial number; a CH340 with no serial number and so no stable
        // name; a CDC-ACM board; a built-in UART.
        devices = {
            {path("dev/ttyUSB0"), "FTDI", "FT232R USB UART", "A1B2C3", 0x0403, 0x6001, {}},
            {path("dev/ttyUSB1"), "Silicon Labs", "CP2105 Dual", "00A1", 0x10c4, 0xea70, {}},
            {path("dev/ttyUSB2"), "Silicon Labs", "CP2105 Dual", "00A1", 0x10c4, 0xea70, {}},
            {path("dev/ttyACM0"), "Veltrax", "Bench probe", "VX-77", 0x1209, 0x0001, {}},
            {path("dev/ttyS0"), "", "", "", std::nullopt, std::nullopt, {}},
        };
        const QHash<QString, QString> names = stableNames(path("dev/serial/by-id"));
        for (SerialDevice &device : devices)
            device.stableName = names.value(QFileInfo(device.systemLocation).canonicalFilePath());
        devices[2].vendorId.reset(); // as a driver may leave it
    }
    QString path(const QString &relative) const { return QDir(dir.path()).filePath(relative); }
    struct Run {
        int status;
        QString out, err;
    };
    Run run(QStringList arguments, const QString &home = {}) const
    {
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        const PortsEnvironment environment{home.isNull() ? dir.path() : home, path("dev"),
                                           [this] { return devices; }};
        const int status = runPortsCommand(arguments, environment, outStream, errStream);
        outStream.flush();
        errStream.flush();
        return {status, out, err};
    }
    QString linkOf(const char *com) const
    {
        return QFileInfo(path("Veltrax/") + com).symLinkTarget();
    }

    QTemporaryDir dir;
    const QString ftdiName = "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    const QString acmName = "dev/serial/by-id/usb-Veltrax_Bench_probe_VX-77-if00";
    QList<SerialDevice> devices;
};

TEST(PortsTool, listsEachDeviceWithItsIdentity_andWhereEachComEntryLeads)
{
    Bench b;
    ASSERT_TRUE(QFile::link(b.path(b.ftdiName), b.path("Veltrax/COM3")) &&
                QFile::link(b.path("dev/ttyUSB9"), b.path("Veltrax/COM4")) &&
                QFile::link(b.path("dev/ttyACM0"), b.path("Veltrax/COM12")) &&
                QFile(b.path("Veltrax/COM5")).open(QIODevice::WriteOnly));
    const Bench::Run listed = b.run({});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.err, "");
    // {root} stands for the bench's folder.
    const QString expected = QStringLiteral(R"(Program folder: {root}/Veltrax

Serial devices:
  {root}/dev/ttyUSB0
    maker     FTDI
    product   FT232R USB UART
    serial    A1B2C3
    USB id    0403:6001
    stable    {root}/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0
    linked as COM3
  {root}/dev/ttyUSB1
    maker     Silicon Labs
    product   CP2105 Dual
    serial    00A1
    USB id    10c4:ea70
    stable    none: a link to it names {root}/dev/ttyUSB1, which can change
  {root}/dev/ttyUSB2
    maker     Silicon Labs
    product   CP2105 Dual
    serial    00A1
    USB id    ?:ea70
    stable    none: a link to it names {root}/dev/ttyUSB2, which can change
  {root}/dev/ttyACM0
    maker     Veltrax
    product   Bench probe
    serial    VX-77
    USB id    1209:0001
    stable    {root}/dev/serial/by-id/usb-Veltrax_Bench_probe_VX-77-if00
    linked as COM12
  {root}/dev/ttyS0
    (no USB identity)
    stable    none: a link to it names {root}/dev/ttyS0, which can change

COM ports in {root}/Veltrax:
  COM3 -> {root}/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0 (present, {root}/dev/ttyUSB0)
  COM4 -> {root}/dev/ttyUSB9 (not present)
  COM5 is not a link: the program opens {root}/Veltrax/COM5 as it is
  COM12 -> {root}/dev/ttyACM0 (present)
  every other COMn opens /dev/ttyS<n-1>
)");
    EXPECT_EQ(listed.out, QString(expected).replace("{root}", b.dir.path()));

    // Nothing plugged in, no links: the listing says so rather than printing nothing.
    Bench empty;
    empty.devices.clear();
    EXPECT_EQ(empty.run({"list"}).out, QStringLiteral(R"(Program folder: {root}/Veltrax

Serial devices: none found

COM ports in {root}/Veltrax:
  no COMn links: every COMn opens /dev/ttyS<n-1>
)")
                                           .replace("{root}", empty.dir.path()));
}

// udev's by-id folder, as read for the stable names.
TEST(PortsTool, stableNames_leadToTheirDevice_deadOnesLeftOut)
{
    Bench b;
    ASSERT_TRUE(QFile::link("../../ttyUSB0", b.path("dev/serial/by-id/usb-0-second-name")) &&
                QFile::link("../../ttyUSB7", b.path("dev/serial/by-id/usb-unplugged")));
    const QHash<QString, QString> names = stableNames(b.path("dev/serial/by-id"));
    EXPECT_EQ(names.size(), 2);
    // Of two names for one device the first by name, every time.
    EXPECT_EQ(names.value(QFileInfo(b.path("dev/ttyUSB0")).canonicalFilePath()),
              b.path("dev/serial/by-id/usb-0-second-name"));
    EXPECT_EQ(names.value(QFileInfo(b.path("dev/ttyACM0")).canonicalFilePath()), b.path(b.acmName));
    EXPECT_TRUE(stableNames(b.path("no such folder")).isEmpty());
}

TEST(PortsTool, deviceChosenByPathStableNameOrSerial_elseRefusedNamingTheCandidates)
{
    Bench b;
    const struct {
        QString which;
        QString chosen; // the device's path, or a part of the refusal
    } rows[] = {
        {b.path("dev/ttyUSB0"), b.path("dev/ttyUSB0")},
        {"ttyACM0", b.path("dev/ttyACM0")},
        {b.path(b.ftdiName), b.path("dev/ttyUSB0")},
        {QFileInfo(b.ftdiName).fileName(), b.path("dev/ttyUSB0")},
        {b.path("dev/serial/by-path/pci-0:1.2:1.0-port0"), b.path("dev/ttyUSB0")},
        {"A1B2C3", b.path("dev/ttyUSB0")},
        {"VX-77", b.path("dev/ttyACM0")},
        // Both ports of a dual adapter carry its serial number.
        {"00A1", "fits 2 devices (" + b.path("dev/ttyUSB1") + ", " + b.path("dev/ttyUSB2") + ")"},
        {"a1b2c3", "no serial device \"a1b2c3\""},
        {b.path("dev/ttyUSB9"), "no serial device"},
        // A file of the current folder is no device, whatever its name.
        {"ttyUSB", "no serial device"},
        {"", "no serial device"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.which.toStdString());
        try {
            EXPECT_EQ(chooseDevice(b.devices, row.which).systemLocation, row.chosen);
        } catch (const PortsError &refusal) {
            EXPECT_TRUE(refusal.description().contains(row.chosen))
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
    const QString folderLine = "Program folder: " + b.path("Veltrax") + "\n";
    const QString ftdi = b.path(b.ftdiName), acm = b.path(b.acmName);
    const struct {
        QStringList arguments;
        int status;
        QString out, err; // err: a part of it
        const char *entry;
        QString linkAfter; // the entry's target afterwards; empty: no link
    } rows[] = {
        {{"link", "3", "A1B2C3"},
         0,
         folderLine + "COM3 -> " + ftdi + " (now " + b.path("dev/ttyUSB0") + ")\n",
         "",
         "COM3",
         ftdi},
        {{"link", "COM3", b.path("dev/ttyUSB0")},
         0,
         folderLine + "COM3 -> " + ftdi + " (now " + b.path("dev/ttyUSB0") +
             ")\n  unchanged: it led there already\n",
         "",
         "COM3",
         ftdi},
        {{"link", "3", "usb-Veltrax_Bench_probe_VX-77-if00"},
         0,
         folderLine + "COM3 -> " + acm + " (now " + b.path("dev/ttyACM0") + ")\n" +
             "  replaces the link to " + ftdi + "\n",
         "",
         "COM3",
         acm},
        // No stable name: the path, with a warning that it can change.
        {{"link", "4", "ttyS0"},
         0,
         folderLine + "COM4 -> " + b.path("dev/ttyS0") + "\n",
         "warning: " + b.path("dev/ttyS0") + " has no stable /dev/serial/by-id name",
         "COM4",
         b.path("dev/ttyS0")},
        {{"link", "7", "VX-77"},
         0,
         folderLine + "COM7 -> " + acm + " (now " + b.path("dev/ttyACM0") + ")\n" +
             "  replaces the link to " + b.path("dev/gone") + "\n",
         "",
         "COM7",
         acm},
        // What is not a link stays as it is.
        {{"link", "5", "A1B2C3"}, 1, folderLine, "COM5 is a file, not a link", "COM5", ""},
        {{"link", "6", "A1B2C3"}, 1, folderLine, "COM6 is a folder, not a link", "COM6", ""},
        {{"link", "8", "00A1"}, 1, folderLine, "fits 2 devices", "COM8", ""},
        {{"link", "9", "nothing"}, 1, folderLine, "no serial device \"nothing\"", "COM9", ""},
        {{"link", "3", "A1B2C3", "--folder", b.path("missing")},
         1,
         "",
         "does not exist",
         "COM3",
         acm},
        {{"link", "17", "A1B2C3"}, 2, "", "\"17\" is not a port from 1 to 16", "COM1", ""},
        {{"link", "0", "A1B2C3"}, 2, "", "\"0\" is not a port from 1 to 16", "COM1", ""},
        {{"link", "3"}, 2, "", "link takes a port number and a device", "COM3", acm},
        {{"unlink", "3"}, 2, "", "unknown command \"unlink\"", "COM3", acm},
        {{"--force"}, 2, "", "unknown option --force", "COM3", acm},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const Bench::Run result = b.run(row.arguments);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.out, row.out);
        EXPECT_TRUE(row.err.isEmpty() ? result.err.isEmpty() : result.err.contains(row.err))
            << result.err.toStdString();
        EXPECT_EQ(b.linkOf(row.entry), row.linkAfter);
    }
    EXPECT_TRUE(QFileInfo(b.path("Veltrax/COM5")).isFile());
    EXPECT_TRUE(QFileInfo(b.path("Veltrax/COM6")).isDir());
    // No half-made link is left behind.
    EXPECT_EQ(
        QDir(b.path("Veltrax")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
        QStringList({"COM3", "COM4", "COM5", "COM6", "COM7"}));
    // A folder that cannot be written (root may write anywhere).
    if (::geteuid() != 0) {
        ASSERT_TRUE(QFile::setPermissions(b.path("Veltrax"), QFile::ReadOwner | QFile::ExeOwner));
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
    EXPECT_TRUE(b.run({}).out.startsWith("Program folder: " + b.path("Veltrax") + "\n"));
    EXPECT_TRUE(b.run({}, b.path("dev")).out.startsWith("Program folder: " + b.path("dev") + "\n"));
    EXPECT_TRUE(b.run({"--folder", "serial"})
                    .out.startsWith("Program folder: " + b.path("dev/serial") + "\n"));
    EXPECT_TRUE(b.run({"--folder=" + b.path("dev/serial/by-id")})
                    .out.startsWith("Program folder: " + b.path("dev/serial/by-id") + "\n"));
    const Bench::Run missing = b.run({"--folder", "nowhere"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "veltrax-ports: the folder nowhere does not exist\n");
    EXPECT_EQ(b.run({"--folder"}).status, 2);
    const Bench::Run help = b.run({"link", "3", "x", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: veltrax-ports")) << help.out.toStdString();
}

} // namespace
