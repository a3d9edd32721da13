// One whole update through the real serial link, over a pseudo-terminal, with
// a small monitor answering on the other end.
#include "CommStuff.h"
#include "MemoryFileSystem.h"
#include "PseudoTerminal.h"
#include "QSerialByteDevice.h"
#include "UpdaterFixture.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// The boot monitor's side of the dialogue, driven by what arrives on the
// master side. Records are judged as the instrument does: length from the
// count byte, checksum over the whole record.
class PtyMonitor {
public:
    explicit PtyMonitor(PseudoTerminal &pty) : m_pty(pty)
    {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { onReadable(); });
    }

    QByteArray received;
    bool imageGood = true;

private:
    enum Stage {
        Esc1,
        Reboot1,
        Access,
        Enquiries,
        LastEnquiry,
        Records,
        Esc2,
        Reset,
        Esc3,
        Reboot2
    };

    void onReadable()
    {
        const QByteArray bytes = m_pty.readAvailable();
        received += bytes;
        m_pending += bytes;
        while (step()) {
        }
    }

    // Consumes up to the end of `expected` and answers; false while it has not come.
    bool expect(const QByteArray &expected, const QByteArray &answer, Stage next)
    {
        const qsizetype at = m_pending.indexOf(expected);
        if (at < 0)
            return false;
        m_pending.remove(0, at + expected.size());
        if (!answer.isEmpty())
            m_pty.write(answer);
        m_stage = next;
        return true;
    }

    bool step()
    {
        switch (m_stage) {
        case Esc1:
            return expect(::Esc, Ack, Reboot1);
        case Reboot1:
            return expect(RebootRequest, "boot\r\n", Access);
        case Access:
            return expect("quandrel\r\n", "MON: ", Enquiries);
        case Enquiries:
            if (!expect("\x05\x05", {}, LastEnquiry))
                return false;
            QTimer::singleShot(300ms, [this] { m_pty.write("\x80"); }); // erasing
            return true;
        case LastEnquiry:
            return expect("\x05", {}, Records);
        case Records:
            return record();
        case Esc2:
            return expect(::Esc, Ack, Reset);
        case Reset:
            return expect(ResetRequest, Ack, Esc3);
        case Esc3:
            return expect(::Esc, Ack, Reboot2);
        case Reboot2:
            return expect(RebootRequest, "boot", Reboot2);
        }
        return false;
    }

    bool record()
    {
        if (m_pending.size() < 2)
            return false;
        const qsizetype length = 1 + static_cast<std::uint8_t>(m_pending[1]) + 5;
        if (m_pending.size() < length)
            return false;
        std::uint8_t sum = 0;
        for (qsizetype i = 1; i < length; ++i)
            sum += static_cast<std::uint8_t>(m_pending[i]);
        const bool endOfFile = m_pending[4] == '\x01';
        m_pending.remove(0, length);
        imageGood = imageGood && sum == 0;
        m_pty.write(sum == 0 ? Ack : QByteArray("\x15"));
        if (endOfFile) {
            m_pty.write(imageGood ? "CODE OK" : "CODE BAD");
            m_stage = Esc2;
        }
        return true;
    }

    PseudoTerminal &m_pty;
    QSocketNotifier m_notifier{m_pty.masterFd(), QSocketNotifier::Read};
    QByteArray m_pending;
    Stage m_stage = Esc1;
};

TEST(UpdateOverPty, wholeUpdateThroughTheRealLink_successful)
{
    int argc = 1;
    char name[] = "protocol_pty_test";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    PseudoTerminal pty;
    pty.linkAsComPort(folder.path(), 3);
    PtyMonitor monitor(pty);

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
    // Whatever is still in flight has had its chance by now.
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor.received.toHex(' '), transcriptUpTo(RebootReq).toHex(' '));
    EXPECT_TRUE(monitor.imageGood);
    EXPECT_EQ(window.value, ThreeRecords.size());
    EXPECT_EQ(window.holds.mid(window.holds.size() - 3),
              QStringList({"Send", "ApplyDebugView", "Restore"}));
}

} // namespace
