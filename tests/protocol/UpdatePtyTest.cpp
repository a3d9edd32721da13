// One whole update through the real serial link, over a pseudo-terminal, the
// monitor on the other end answering each stage as soon as it has come in.
#include "CommStuff.h"
#include "PseudoTerminal.h"
#include "QSerialByteDevice.h"
#include "UpdaterFixture.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTemporaryDir>

TEST(UpdateOverPty, wholeUpdateThroughTheRealLink_successful)
{
    int argc = 1;
    char name[] = "protocol_pty_test", *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    PseudoTerminal pty;
    pty.linkAsComPort(folder.path(), 3);
    QByteArray received;
    int stage = EntryEsc;
    QSocketNotifier notifier(pty.masterFd(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        received += pty.readAvailable();
        for (; stage <= RebootReq && received.size() >= transcriptUpTo(Stage(stage)).size();
             ++stage) {
            for (const ScriptedInstrument::Arrival &part : Answers[stage])
                pty.write(part.second);
        }
    });

    Rig r; // its window, message box and files
    CommStuff link(r.messages, [&] { return std::make_unique<QSerialByteDevice>(folder.path()); });
    link.SetBaudRate(19200);
    ASSERT_TRUE(link.SelectComPort(3));
    FirmwareUpdater(link, r.window, r.messages, r.files).btnSend_Click();

    EXPECT_EQ(r.window.status(), "Update Successful")
        << r.window.statuses.join(" | ").toStdString();
    EXPECT_EQ(received.toHex(' '), transcriptUpTo(RebootReq).toHex(' '));
}
