#pragma once

#include "FakeWindow.h"
#include "FirmwareImage.h"
#include "FirmwareUpdater.h"
#include "MemoryFileSystem.h"
#include "QtPrinters.h"
#include "ScriptedInstrument.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using ms = std::chrono::milliseconds;
using Arrivals = std::vector<ScriptedInstrument::Arrival>;

inline const QByteArray Esc("\x1b"), Ack("\x06"), Nak("\x15");
inline const QByteArray RebootRequest("\x01\x48\x01\x00\x49", 5);

// A lone last character (never sent), an LF alone, any first character, lower case.
inline const QByteArray Firmware =
    ":0400000001020304F2x\r\n:01002000AA35\nZ020010000a0BD9y\r\n:00000001FF\r\n";

// A whole update of Firmware, stage by stage: the bytes the monitor gets and
// what a good monitor answers, timed from the last byte.
// clang-format off
enum Stage { Nothing, EntryEsc, EntryReboot, Access, SetUp, FlashReady, Line1, Line2, Line3, Line4,
             ResetEsc, ResetReq, RebootEsc, RebootReq };
inline const QByteArray StageBytes[] = {
    "", Esc, RebootRequest, "quandrel\r\n", "\x05\x05", "\x05",
    QByteArray::fromHex("01 04 00 00 00 01 02 03 04 F2"), QByteArray::fromHex("01 01 00 20 00 AA 35"),
    QByteArray::fromHex("01 02 00 10 00 0A 0B D9"), QByteArray::fromHex("01 00 00 00 01 FF"),
    Esc, QByteArray("\x01\x3b\x01\x00\x3c", 5), Esc, RebootRequest};
inline const Arrivals Answers[] = {
    {}, {{10ms, Ack}}, {{20ms, "boot\r\n"}}, {{10ms, "MON: "}}, {{2000ms, "\x80"}}, {},
    {{10ms, Ack}}, {{10ms, Ack}}, {{10ms, Ack}}, {{10ms, Ack}, {310ms, "CODE OK"}},
    {{10ms, Ack}}, {{10ms, Ack}}, {{10ms, Ack}}, {{20ms, "boot"}}};
// clang-format on
inline QByteArray transcriptUpTo(Stage last)
{
    QByteArray wire;
    for (int stage = Nothing; stage <= last; ++stage)
        wire += StageBytes[stage];
    return wire;
}

struct Rig {
    Rig() { files.files[window.path] = Firmware; }
    // The monitor answers each stage up to `last`, `changed` as given.
    void script(Stage last = RebootReq, Stage changed = Nothing, const Arrivals &answer = {})
    {
        for (int stage = EntryEsc; stage <= last; ++stage)
            line.answer(StageBytes[stage], stage == changed ? answer : Answers[stage]);
    }

    ScriptedInstrument line;
    FakeWindow window;
    FakeMessages messages;
    MemoryFileSystem files;
    FirmwareUpdater updater{line, window, messages, files};
};
