#include "PortLocator.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifndef Q_OS_WIN

namespace {

class PortLocatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QDir(folder.path()).mkdir("dev"));
        QFile device(at("dev/ttyUSB0"));
        ASSERT_TRUE(device.open(QIODevice::WriteOnly));
        adapter = QFileInfo(device.fileName()).canonicalFilePath();
    }
    QString at(const QString &name) const { return QDir(folder.path()).filePath(name); }
    void link(const QString &target, const QString &name)
    {
        ASSERT_TRUE(QFile::link(target, at(name)));
    }

    QTemporaryDir folder;
    QString adapter;
};

TEST_F(PortLocatorTest, noEntryInFolder_builtInUart)
{
    EXPECT_EQ(systemPortName(1, folder.path()), "/dev/ttyS0");
    EXPECT_EQ(systemPortName(16, folder.path()), "/dev/ttyS15");
}

TEST_F(PortLocatorTest, linkInFolder_resolvedToTheDevice)
{
    link(adapter, "COM3");
    // A by-id style chain: the port is the last target.
    link(at("COM3"), "by-id-link");
    link(at("by-id-link"), "COM4");
    // Relative to the folder, as "ln -s dev/ttyUSB0 COM5" makes it.
    link("dev/ttyUSB0", "COM5");

    EXPECT_EQ(systemPortName(3, folder.path()), adapter);
    EXPECT_EQ(systemPortName(4, folder.path()), adapter);
    EXPECT_EQ(systemPortName(5, folder.path()), adapter);
    EXPECT_EQ(systemPortName(6, folder.path()), "/dev/ttyS5") << "another port's link was used";
}

TEST_F(PortLocatorTest, linkToUnpluggedAdapter_namesTheMissingDeviceNotAUart)
{
    link("/dev/veltrax-no-such-adapter", "COM2");
    EXPECT_EQ(systemPortName(2, folder.path()), "/dev/veltrax-no-such-adapter");
}

} // namespace

#endif
