#include "FirmwareDiscovery.h"
#include "Preferences.h"
#include "QtFileSystem.h"
#include "UploaderError.h"

#include <QDir>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>

namespace {

int errorCodeOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const UploaderError &error) {
        return error.code();
    }
    return 0;
}

// Runs action with the folder's permissions set to mode and without root's
// override of permission checks, so that root meets them as a user does.
int errorCodeWithFolderMode(const QString &folder, QFileDevice::Permissions mode,
                            const std::function<void()> &action)
{
    const QFileDevice::Permissions before = QFile::permissions(folder);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2]{}, reduced[2]{};
    syscall(SYS_capget, &header, saved);
    std::copy(saved, saved + 2, reduced);
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    QFile::setPermissions(folder, mode);
    syscall(SYS_capset, &header, reduced);
    const int code = errorCodeOf(action);
    syscall(SYS_capset, &header, saved);
    QFile::setPermissions(folder, before);
    return code;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        << path.toStdString();
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "<missing>";
}

TEST(QtFileSystem, readLine_splitsAtCrLfOrLf_keepsEveryByte)
{
    QTemporaryDir dir;
    QtFileSystem files;
    QByteArray high, longLine(3'000'000, 'x');
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        high += char(byte);
    }
    const QByteArray contents = "a\r\nb\n\r\ncr\rinside\n" + high + "\r\n" + longLine + "\r\nend";
    writeBytes(dir.filePath("t"), contents);
    auto stream = files.OpenTextFile(dir.filePath("t"));
    QList<QByteArray> lines;
    while (!stream->AtEndOfStream()) {
        lines << stream->ReadLine();
    }
    EXPECT_EQ(lines, (QList<QByteArray>{"a", "b", "", "cr\rinside", high, longLine, "end"}));
    EXPECT_EQ(errorCodeOf([&] { stream->ReadLine(); }), ErrorCode::ReadPastEnd);
    EXPECT_EQ(files.FileSize(dir.filePath("t")), contents.size());
    EXPECT_FALSE(files.FileExists(dir.path()));
    EXPECT_EQ(errorCodeOf([&] { files.OpenTextFile(dir.path()); }), ErrorCode::FileNotFound);
}

TEST(FindFirmware, takesNewestNamedFile)
{
    QtFileSystem files;
    // Entries apart by "|"; "name/" makes a folder, "sub/name" a file in a subfolder.
    const std::pair<QString, std::string> rows[] = {
        {"hexcfg.dat|veltrax_03012012.hex|veltrax_02092012.hex", "veltrax_03012012.hex"},
        {"veltrax_02092012.hex|veltrax_02102012.hex", "veltrax_02102012.hex"},
        {"veltrax_12312011.hex|veltrax_01012012.hex", "veltrax_01012012.hex"},
        // Only the year of the century counts.
        {"veltrax_02092012.hex|veltrax_02091999.hex", "veltrax_02091999.hex"},
        // Equal keys: the first in the folder's name order stays.
        {"veltrax_02092012b.hex|veltrax_02092012a.hex", "veltrax_02092012a.hex"},
        {"veltrax_02092012.hex|veltrax_02091912.hex", "veltrax_02091912.hex"},
        {"VELTRAX_02092012.HEX|Veltrax_02092012.hex|veltrax_02092012.Hex|README", ""},
        {"veltrax_12312012.rev.hex|veltrax_01012010.hex.bak", "veltrax_01012010.hex.bak"},
        {"veltrax_09092012.hex/|sub/veltrax_09092013.hex|veltrax_01012010.hex",
         "veltrax_01012010.hex"},
        {"", ""},
        {"veltrax.hex|veltrax_.hex|veltrax_020920.hex|veltrax_0209xxab.hex|veltrax_0209201x.hex",
         ""},
        {"veltrax_12312000.hex|veltrax_010120 1.hex|veltrax_123120-1.hex", "veltrax_010120 1.hex"},
    };
    for (const auto &[entries, expected] : rows) {
        SCOPED_TRACE(entries.toStdString());
        QTemporaryDir dir;
        for (const QString &entry : entries.split('|', Qt::SkipEmptyParts)) {
            entry.endsWith('/') ? void(QDir(dir.path()).mkpath(entry))
                                : writeBytes(dir.filePath(entry), ":00000001FF\r\n");
        }
        const FirmwareSearch search = searchFirmware(files, dir.path());
        EXPECT_EQ(search.FirmwareFileName.toStdString(), expected);
        EXPECT_EQ(search.FirmwareFound, !expected.empty());
    }
    QTemporaryDir unlistable;
    EXPECT_EQ(errorCodeWithFolderMode(unlistable.path(), {},
                                      [&] { searchFirmware(files, unlistable.path()); }),
              ErrorCode::PathNotFound);
}

TEST(Preferences, read_byLinePosition_asStartUpDoes)
{
    QTemporaryDir dir;
    QtFileSystem files;
    EXPECT_EQ(errorCodeOf([&] { readPreferences(files, dir.path()); }), ErrorCode::FileNotFound);
    // Contents, then "port debug" (debug off, on, or "-" without a second line) or the error code.
    // clang-format off
    const std::pair<QByteArray, std::string> cases[] = {
        {"COM=3\r\nDBG=1\r\n", "3 on"}, {"XYZ=7\r\n", "7 -"}, {"DBG=1\r\nCOM=3", "1 on"},
        {"COM=4\r\nDBG=0\r\nDBG=x", "4 off"}, {"COM= 5 ", "5 -"}, {"COM=2.5", "2 -"},
        {"COM=3.5", "4 -"}, {"COM=+3", "3 -"}, {"COM=1e1", "10 -"}, {"COM=-1", "-1 -"},
        {"COM=17", "17 -"}, {"COM=-32768.5", "-32768 -"}, {"COM=32767.5", "6"}, {"COM=-32769", "6"},
        {"COM=1e400", "6"}, {"COM=", "13"}, {"COM=x", "13"}, {"COM=0x10", "13"}, {"COM=inf", "13"},
        {"COM", "5"}, {"", "62"}, {"COM=1\r\nDBG=00", "1 off"}, {"COM=1\r\nDBG=0.0", "1 off"},
        {"COM=1\r\nDBG=2", "1 on"}, {"COM=1\r\nDBG=-1", "1 on"}, {"COM=1\r\nDBG=0.5", "1 on"},
        {"COM=1\r\nDBG=", "13"}, {"COM=1\r\nDBG=x", "13"}, {"COM=1\r\n\r\nDBG=1", "5"}};
    // clang-format on
    for (const auto &[contents, expected] : cases) {
        writeBytes(preferencesPath(dir.path()), contents);
        QString result;
        const int code = errorCodeOf([&] {
            const StoredPreferences stored = readPreferences(files, dir.path());
            const char *debug = !stored.debugOff ? " -" : *stored.debugOff ? " off" : " on";
            result = QString::number(stored.comPort) + debug;
        });
        EXPECT_EQ((code ? QString::number(code) : result).toStdString(), expected)
            << contents.toStdString();
    }
}

TEST(Preferences, write_replacesTheFileOnlyWhenWrittenWhole)
{
    QTemporaryDir dir;
    QtFileSystem files;
    const QString path = preferencesPath(dir.path());
    writeBytes(path, "COM=16\r\nDBG=0\r\nleft over\r\n");
    writePreferences(files, dir.path(), 3, false);
    EXPECT_EQ(readBytes(path), "COM=3\r\nDBG=1\r\n");
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
    EXPECT_NE(errorCodeWithFolderMode(dir.path(), readOnly,
                                      [&] { writePreferences(files, dir.path(), 2, true); }),
              0);
    files.CreateTextFile(path)->WriteLine("dropped unclosed");
    auto refused = files.CreateTextFile(path);
    refused->WriteLine("COM=4");
    EXPECT_NE(errorCodeWithFolderMode(dir.path(), readOnly, [&] { refused->Close(); }), 0);
    EXPECT_EQ(readBytes(path), "COM=3\r\nDBG=1\r\n");
}

} // namespace
