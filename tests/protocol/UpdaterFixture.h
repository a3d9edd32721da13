#pragma once

#include "FakeWindow.h"
#include "FirmwareUpdater.h"
#include "MemoryFileSystem.h"
#include "QtPrinters.h"
#include "ScriptedInstrument.h"

#include <gtest/gtest.h>
#include <vector>

using namespace std::chrono_literals;
using ms = std::chrono::milliseconds;
using Arrivals = std::vector<ScriptedInstrument::Arrival>;

inline const QByteArray Esc("\x1b");
inline const QByteArray Ack("\x06");
inline const QByteArray RebootRequest("\x01\x48\x01\x00\x49", 5);
inline const QByteArray ResetRequest("\x01\x3b\x01\x00\x3c", 5);

// A monitor that does everything right unless a test changes one answer.
// Times count from the byte that the answer follows.
struct MonitorScript {
    QByteArray escAnswer = Ack;
    ms escAfter = 10ms;
    Arrivals boot{{20ms, "boot\r\n"}};
    QByteArray prompt{"MON: "};
    ms promptAfter = 10ms;
    Arrivals flash{{2000ms, "\x80"}};
    std::vector<QByteArray> lineAnswers; // missing ones are ACK
    ms lineAfter = 10ms;
    QByteArray verdict{"CODE OK"};
    ms verdictAfter = 300ms; // after the last line's answer
    QByteArray resetEscAnswer = Ack;
    ms resetEscAfter = 10ms;
    QByteArray resetAnswer = Ack;
    ms resetAfter = 10ms;
    QByteArray rebootEscAnswer = Ack;
    ms rebootEscAfter = 10ms;
    Arrivals reboot{{20ms, "boot"}};
};

// Three odd-length records with CR LF, so progress ends exactly on the size.
inline const QByteArray ThreeRecords = ":0400000001020304F2\r\n:020010000A0BD9\r\n:00000001FF\r\n";

// The instrument, the window, the message box, the disk and the updater.
struct Rig {
    Rig() { setFirmware(ThreeRecords); }

    void setFirmware(const QByteArray &content) { files.files[window.path] = content; }
    // Answers the whole update (transfer, reset and reboot) of the current file.
    void script(const MonitorScript &s);
    // The time of the n-th (1-based) sent byte equal to `byte`.
    ms sentTime(std::uint8_t byte, int n) const;
    // The window came back as after every update: buttons swapped back, the
    // view applied, controls restored once, port closed, file closed.
    void expectWindowBack() const;

    ScriptedInstrument line;
    FakeWindow window;
    FakeMessages messages;
    MemoryFileSystem files;
    FirmwareUpdater updater{line, window, messages, files};
};

class UpdaterFixture : public ::testing::Test, public Rig {};

// The bytes the monitor sees in a whole update of ThreeRecords, stage by stage.
enum Stage {
    Nothing,
    EntryEsc,
    EntryReboot,
    Access,
    SetUp,
    FlashReady,
    Line1,
    Line2,
    Line3,
    ResetEsc,
    ResetReq,
    RebootEsc,
    RebootReq
};
QByteArray stageBytes(Stage stage);
QByteArray transcriptUpTo(Stage last);
