// One whole update through the real serial link, over a pseudo-terminal, with
// the monitor's answers scripted on the other end.
#include "CommStuff.h"
#include "PseudoTerminal.h"
#include "QSerialByteDevice.h"
#include "UpdaterFixture.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTemporaryDir>

namespace {

TEST(UpdateOverPty, wholeUpdateThroughTheRealLink_successful)
{
    int argc = 1;
    char name[] = "protocol_pty_test", *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    PseudoTerminal pty;
    pty.linkAsComPort(folder.path(), 3);

    // Each answer goes out once what the monitor has received holds its trigger.
    QList<QPair<QByteArray, QByteArray>> script = {{Esc, Ack},
                                                   {RebootRequest, "boot\r\n"},
                                                   {AccessWord, "MON: "},
                                                   {"\x05\x05", "\x80"},
                                                   {stageBytes(Line1), Ack},
                                                   {stageBytes(Line2), Ack},
                                                   {stageBytes(Line3), Ack + "CODE OK"},
                                                   {Esc, Ack},
                                                   {ResetRequest, Ack},
                                                   {Esc, Ack},
                                                   {RebootRequest, "boot"}};
    QByteArray received, pending;
    QSocketNotifier notifier(pty.masterFd(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        const QByteArray bytes = pty.readAvailable();
        received += bytes;
        pending += bytes;
        for (qsizetype at = 0;
             !script.isEmpty() && (at = pending.indexOf(script.first().first)) >= 0;) {
            pending.remove(0, at + script.first().first.size());
            pty.write(script.takeFirst().second);
        }
    });

    FakeMessages messages;
    CommStuff link(messages, [&] { return std::make_unique<QSerialByteDevice>(folder.path()); });
    link.SetBaudRate(19200);
    ASSERT_TRUE(link.SelectComPort(3));
    FakeWindow window;
    MemoryFileSystem files;
    files.files[window.path] = ThreeRecords;
    FirmwareUpdater updater(link, window, messages, files);

    updater.btnSend_Click();

    EXPECT_EQ(window.status(), "Update Successful") << window.statuses.join(" | ").toStdString();
    QCoreApplication::processEvents(); // whatever is still in flight
    EXPECT_EQ(received.toHex(' '), transcriptUpTo(RebootReq).toHex(' '));
    EXPECT_EQ(window.value, ThreeRecords.size());
}

} // namespace
