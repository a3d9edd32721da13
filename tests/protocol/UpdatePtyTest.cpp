// An update through the real serial link, over a pseudo-terminal, the monitor on
// the other end answering each stage as soon as it has come in.
#include "CommStuff.h"
#include "PseudoTerminal.h"
#include "QSerialByteDevice.h"
#include "UpdaterFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

// The line hung up 400 ms into the 5000 ms pause before the reset must end the
// update within a read's time, not 4.6 s later.
TEST(UpdateOverPty, hangUpInTheResetPauseNoticedAtOnce)
{
    int argc = 1;
    char name[] = "protocol_pty_test", *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    PseudoTerminal pty;
    pty.linkAsComPort(folder.path(), 3);
    QByteArray received;
    int stage = EntryEsc;
    QElapsedTimer sinceHangUp;
    QSocketNotifier notifier(pty.masterFd(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        received += pty.readAvailable();
        for (; stage <= Line4 && received.size() >= transcriptUpTo(Stage(stage)).size(); ++stage) {
            for (const ScriptedInstrument::Arrival &part : Answers[stage])
                pty.write(part.second);
        }
        if (stage <= Line4)
            return;
        notifier.setEnabled(false);
        QTimer::singleShot(std::chrono::milliseconds(400), &notifier, [&] {
            pty.hangUp();
            sinceHangUp.start();
        });
    });

    Rig r; // its window, message box and files
    CommStuff link(r.messages, [&] { return std::make_unique<QSerialByteDevice>(folder.path()); });
    link.SetBaudRate(19200);
    ASSERT_TRUE(link.SelectComPort(3));
    FirmwareUpdater(link, r.window, r.messages, r.files).btnSend_Click();

    EXPECT_EQ(r.window.statuses.mid(r.window.statuses.size() - 2).join(" | "),
              "Resetting Defaults | Communitcations error.");
    EXPECT_EQ(received.toHex(' '), transcriptUpTo(Line4).toHex(' '));
    ASSERT_TRUE(sinceHangUp.isValid());
    EXPECT_LT(sinceHangUp.elapsed(), 200);
}
