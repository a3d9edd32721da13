// Whole updates through the real serial link, over a pseudo-terminal, the
// monitor on the other end answering each stage as soon as it has come in.
#include "CommStuff.h"
#include "PseudoTerminal.h"
#include "QSerialByteDevice.h"
#include "UpdaterFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

// Answered to the end; or the line hung up 400 ms into the 5000 ms pause before
// the reset, which must end the update within a read's time, not 4.9 s later.
TEST(UpdateOverPty, wholeUpdate_orHangUpInTheResetPauseNoticedAtOnce)
{
    int argc = 1;
    char name[] = "protocol_pty_test", *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    for (const Stage hangUpAfter : {RebootReq, Line4}) {
        SCOPED_TRACE(hangUpAfter);
        QTemporaryDir folder;
        PseudoTerminal pty;
        pty.linkAsComPort(folder.path(), 3);
        QByteArray received;
        int stage = EntryEsc;
        QElapsedTimer sinceHangUp;
        QSocketNotifier notifier(pty.masterFd(), QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
            received += pty.readAvailable();
            for (; stage <= RebootReq && received.size() >= transcriptUpTo(Stage(stage)).size();
                 ++stage) {
                for (const ScriptedInstrument::Arrival &part : Answers[stage])
                    pty.write(part.second);
                if (stage != hangUpAfter || stage == RebootReq)
                    continue;
                notifier.setEnabled(false);
                QTimer::singleShot(std::chrono::milliseconds(400), &notifier, [&] {
                    pty.hangUp();
                    sinceHangUp.start();
                });
            }
        });

        Rig r; // its window, message box and files
        CommStuff link(r.messages,
                       [&] { return std::make_unique<QSerialByteDevice>(folder.path()); });
        link.SetBaudRate(19200);
        ASSERT_TRUE(link.SelectComPort(3));
        FirmwareUpdater(link, r.window, r.messages, r.files).btnSend_Click();

        if (hangUpAfter == RebootReq) {
            EXPECT_EQ(r.window.status(), "Update Successful")
                << r.window.statuses.join(" | ").toStdString();
            EXPECT_EQ(received.toHex(' '), transcriptUpTo(RebootReq).toHex(' '));
        } else {
            EXPECT_EQ(r.window.statuses.mid(r.window.statuses.size() - 2).join(" | "),
                      "Resetting Defaults | Communitcations error.");
            ASSERT_TRUE(sinceHangUp.isValid());
            EXPECT_LT(sinceHangUp.elapsed(), 200);
        }
    }
}
