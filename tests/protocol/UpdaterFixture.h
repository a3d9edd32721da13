#pragma once

#include "FakeWindow.h"
#include "FirmwareUpdater.h"
#include "HexLine.h"
#include "MemoryFileSystem.h"
#include "QtPrinters.h"
#include "ScriptedInstrument.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using ms = std::chrono::milliseconds;
using Arrivals = std::vector<ScriptedInstrument::Arrival>;

inline const QByteArray Esc("\x1b"), Ack("\x06"), Nak("\x15"), AccessWord("quandrel\r\n");
inline const QByteArray RebootRequest("\x01\x48\x01\x00\x49", 5);
inline const QByteArray ResetRequest("\x01\x3b\x01\x00\x3c", 5);

// A monitor that does everything right unless a test changes one answer.
// Times count from the byte that the answer follows.
struct MonitorScript {
    Arrivals esc{{10ms, Ack}};
    Arrivals boot{{20ms, "boot\r\n"}};
    Arrivals prompt{{10ms, "MON: "}};
    Arrivals flash{{2000ms, "\x80"}};
    std::vector<QByteArray> lineAnswers; // missing ones are ACK
    ms lineAfter = 10ms;
    QByteArray verdict{"CODE OK"};
    ms verdictAfter = 300ms; // after the last line's answer
    Arrivals resetEsc{{10ms, Ack}};
    Arrivals reset{{10ms, Ack}};
    Arrivals rebootEsc{{10ms, Ack}};
    Arrivals reboot{{20ms, "boot"}};
};

// Three odd-length records with CR LF, so progress ends exactly on the size.
inline const QByteArray ThreeRecords = ":0400000001020304F2\r\n:020010000A0BD9\r\n:00000001FF\r\n";

// The bytes the monitor sees in a whole update of ThreeRecords, stage by stage.
// clang-format off
enum Stage {
    Nothing, EntryEsc, EntryReboot, Access, SetUp, FlashReady, Line1, Line2, Line3,
    ResetEsc, ResetReq, RebootEsc, RebootReq
};
inline QByteArray stageBytes(Stage stage)
{
    const QByteArray stages[] = {"", Esc, RebootRequest, AccessWord, "\x05\x05", "\x05",
                                 QByteArray::fromHex("01 04 00 00 00 01 02 03 04 F2"),
                                 QByteArray::fromHex("01 02 00 10 00 0A 0B D9"),
                                 QByteArray::fromHex("01 00 00 00 01 FF"),
                                 Esc, ResetRequest, Esc, RebootRequest};
    return stages[stage];
}
// clang-format on
inline QByteArray transcriptUpTo(Stage last)
{
    QByteArray wire;
    for (int stage = Nothing; stage <= last; ++stage)
        wire += stageBytes(static_cast<Stage>(stage));
    return wire;
}

// The instrument, the window, the message box, the disk and the updater.
struct Rig {
    Rig() { setFirmware(ThreeRecords); }

    void setFirmware(const QByteArray &content) { files.files[window.path] = content; }
    // Answers the whole update (transfer, reset and reboot) of the current file.
    void script(const MonitorScript &s)
    {
        line.answer(Esc, s.esc).answer(RebootRequest, s.boot).answer(AccessWord, s.prompt);
        line.answer("\x05\x05", s.flash);
        const QList<QByteArray> records = textLines(files.files.value(window.path));
        for (qsizetype i = 0; i < records.size(); ++i) {
            const std::optional<HexLine> hex = decodeHexLine(records[i]);
            if (!hex)
                break;
            const auto index = static_cast<std::size_t>(i);
            Arrivals answer{
                {s.lineAfter, index < s.lineAnswers.size() ? s.lineAnswers[index] : Ack}};
            if (i == records.size() - 1)
                answer.push_back({s.lineAfter + s.verdictAfter, s.verdict});
            line.answer("\x01" + hex->bytes, answer);
        }
        line.answer(Esc, s.resetEsc).answer(ResetRequest, s.reset);
        line.answer(Esc, s.rebootEsc).answer(RebootRequest, s.reboot);
    }
    // The window came back as after every update: buttons swapped back, the
    // view applied, controls restored once, port closed, file closed.
    void expectWindowBack() const
    {
        EXPECT_EQ(window.holds.count(QStringLiteral("Disable")), 1);
        EXPECT_EQ(window.holds.count(QStringLiteral("Restore")), 1);
        EXPECT_EQ(window.holds.mid(window.holds.size() - 3),
                  QStringList({"Send", "ApplyDebugView", "Restore"}));
        EXPECT_FALSE(line.open);
        EXPECT_EQ(files.openStreams, 0);
    }

    ScriptedInstrument line;
    FakeWindow window;
    FakeMessages messages;
    MemoryFileSystem files;
    FirmwareUpdater updater{line, window, messages, files};
};

class UpdaterFixture : public ::testing::Test, public Rig {};
