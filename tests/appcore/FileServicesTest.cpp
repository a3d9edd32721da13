#include "FirmwareDiscovery.h"
#include "QtFileSystem.h"
#include "UploaderError.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

TEST(FindFirmware, takesTheNewestPlainFileByTheDateInItsName)
{
    QtFileSystem files;
    // Files apart by "|", "folder/name" in a folder, "~" a byte that is no character in the
    // system's encoding; "*" marks the one to take.
    const char *const rows[] = {
        // Year (of the century only), then month, then day; a tie goes to the first by name.
        "veltrax_12312011.hex|veltrax_02282012.hex|veltrax_03012012.hex|*veltrax_03022012.hex",
        "veltrax_02092012.hex|veltrax_02091999b.hex|*veltrax_02091999a.hex",
        // Only plain files directly in the folder, and only names that open again as listed.
        "veltrax_09092012.hex/veltrax_09092013.hex|veltrax_12312099~.hex|*veltrax_01012010.hex",
        "VELTRAX_02092012.HEX|Veltrax_02092012.hex|veltrax_02092012.Hex|veltrax.hex|veltrax_.hex|"
        "veltrax_020920.hex|veltrax_0209xxab.hex|veltrax_0209201x.hex|veltrax_12312012.rev.hex",
        "veltrax_12312000.hex|*veltrax_010120 1.hex.bak|veltrax_123120-1.hex",
    };
    for (const QString row : rows) {
        SCOPED_TRACE(row.toStdString());
        QTemporaryDir dir;
        QString expected;
        for (QString entry : row.split('|')) {
            if (entry.startsWith('*'))
                expected = entry.remove(0, 1);
            QDir(dir.path()).mkpath(QFileInfo(entry).path());
            const QByteArray path = QFile::encodeName(dir.filePath(entry)).replace('~', '\xff');
            std::FILE *file = std::fopen(path.constData(), "w");
            ASSERT_TRUE(file && std::fclose(file) == 0);
        }
        const FirmwareSearch search = searchFirmware(files, dir.path());
        EXPECT_EQ(search.FirmwareFileName.toStdString(), expected.toStdString());
        EXPECT_EQ(search.FirmwareFound, !expected.isEmpty());
    }
    // A folder that cannot be listed is a failure, not a folder without firmware.
    EXPECT_THROW(searchFirmware(files, QStringLiteral("/no such folder")), FileServiceError);
}

} // namespace
