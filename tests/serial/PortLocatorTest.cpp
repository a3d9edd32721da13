#include "PortLocator.h"
#include "QtPrinters.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(PortLocator, comLinkInProgramFolder_resolvedToItsDevice_elseBuiltInUart)
{
    QTemporaryDir folder;
    const QDir dir(folder.path());
    ASSERT_TRUE(dir.mkdir("dev") && QFile(dir.filePath("dev/ttyUSB0")).open(QIODevice::WriteOnly));
    const QString adapter = QFileInfo(dir.filePath("dev/ttyUSB0")).canonicalFilePath();
    // Absolute; a by-id style chain whose last target is the port; relative to
    // the folder, as "ln -s dev/ttyUSB0 COM5" makes it; an unplugged adapter.
    const std::pair<QString, QString> links[] = {{adapter, "COM3"},
                                                 {dir.filePath("COM3"), "by-id-link"},
                                                 {dir.filePath("by-id-link"), "COM4"},
                                                 {"dev/ttyUSB0", "COM5"},
                                                 {"/dev/veltrax-no-such-adapter", "COM2"}};
    for (const auto &[target, name] : links)
        ASSERT_TRUE(QFile::link(target, dir.filePath(name)));
    QStringList names;
    for (int port = 1; port <= 6; ++port)
        names << systemPortName(port, folder.path());
    EXPECT_EQ(names, QStringList({"/dev/ttyS0", "/dev/veltrax-no-such-adapter", adapter, adapter,
                                  adapter, "/dev/ttyS5"}));
    EXPECT_EQ(systemPortName(16, folder.path()), "/dev/ttyS15");
}

} // namespace
