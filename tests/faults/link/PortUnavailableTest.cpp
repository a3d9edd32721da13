// The port cannot be had: another program holds it, or the device behind it
// has gone since start-up.
#include "LinkFixture.h"

#include <QCoreApplication>
#include <QProcess>

namespace linkfault {
namespace {

// Another program with the port open. On Linux a second opener is kept out by
// the lock file that Qt (like minicom and cu) keeps in /run/lock; the
// terminal's exclusive mode would do it too, but not for root.
std::unique_ptr<QProcess> holdPort(const QString &device)
{
    auto other = std::make_unique<QProcess>();
    other->start(QCoreApplication::applicationFilePath(), {"--hold", device});
    other->waitForReadyRead(5000);
    return other->readAllStandardOutput() == "holding\n" ? std::move(other) : nullptr;
}

void letGo(QProcess &other)
{
    other.closeWriteChannel();
    EXPECT_TRUE(other.waitForFinished(5000));
}

class PortUnavailable : public LinkFault {};

TEST_F(PortUnavailable, heldWhenPicked_couldNotOpen_choiceStands_opensOnceFree)
{
    // Start-up tries COM2, another name for the same line; picking COM1 then opens it.
    folder.writeFile(QStringLiteral("hexcfg.dat"), "COM=2\r\nDBG=1\r\n");
    QFile::link(QStringLiteral("COM1"), folder.filePath(QStringLiteral("COM2")));
    start({});
    ASSERT_EQ(messages.shown, QStringList());
    const auto other = holdPort(device);
    ASSERT_TRUE(other);

    window->form().mCOM(1)->trigger();

    EXPECT_EQ(messages.shown, QStringList{QStringLiteral("Could not open Com1")});
    EXPECT_EQ(window->text("lblComStatus"), QStringLiteral("Connected via Serial (COM1)"));
    EXPECT_TRUE(window->form().mCOM(1)->isChecked());
    EXPECT_FALSE(window->form().mCOM(2)->isChecked());
    EXPECT_EQ(descriptorsOn(device), 0);
    EXPECT_EQ(other->state(), QProcess::Running);

    // Once the other program lets go, the port opens again.
    letGo(*other);
    window->form().mCOM(2)->trigger();
    window->form().mCOM(1)->trigger();
    EXPECT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(descriptorsOn(device), 0);
}

TEST_F(PortUnavailable, heldWhenSendFileOpensIt_couldNotOpen_commsError_nothingSent)
{
    start({});
    const auto other = holdPort(device);
    ASSERT_TRUE(other);

    window->clickSend();

    EXPECT_EQ(messages.shown, (QStringList{Question, QStringLiteral("Could not open Com1")}));
    EXPECT_EQ(window->status(), CommsError);
    expectIdle();
    EXPECT_EQ(other->state(), QProcess::Running) << "the other program lost the port";
    letGo(*other);
    instrument->finish();
    EXPECT_EQ(instrument->log().received(), QByteArray());
}

TEST_F(PortUnavailable, deviceGoneSinceStartUp_couldNotOpen_commsError_noHang)
{
    start({});
    // Killed, as a crash or a pulled adapter ends it: the COM1 link is left
    // pointing at a device that is no more.
    instrument.reset();
    ASSERT_FALSE(QFileInfo::exists(device)) << device.toStdString() << " was taken again";

    window->clickSend();

    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(messages.shown, (QStringList{Question, QStringLiteral("Could not open Com1")}));
    EXPECT_EQ(window->status(), CommsError);
    expectIdle();
}

} // namespace
} // namespace linkfault
