#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

// Time on the simulator's clock, from its start. The monitor's logic only ever
// sees this clock, so tests can run it on virtual time.
using SimTime = std::chrono::microseconds;

namespace wire {
constexpr std::uint8_t SOH = 0x01;
constexpr std::uint8_t ENQ = 0x05;
constexpr std::uint8_t ACK = 0x06;
constexpr std::uint8_t LF = 0x0A;
constexpr std::uint8_t CR = 0x0D;
constexpr std::uint8_t NAK = 0x15;
constexpr std::uint8_t ESC = 0x1B;
constexpr std::uint8_t FlashReady = 0x80; // flash erased, send the file

// Requests follow ESC: SOH, command, 01, 00, and the sum of the middle three.
constexpr std::size_t RequestSize = 5;
constexpr std::uint8_t RebootCommand = 0x48;
constexpr std::uint8_t ResetCommand = 0x3B; // parameters to factory defaults

constexpr std::string_view AccessWord = "quandrel";
constexpr std::string_view Prompt = "MON: ";
constexpr std::string_view StartupText = "\r\nVeltrax boot v2.3\r\n";
// What a monitor stuck before its loader says: long, and without the word.
constexpr std::string_view LongStartupText = "\r\nVeltrax monitor v2.3 - checking memory...\r\n";
constexpr std::string_view CodeOk = "CODE OK\r\n";
constexpr std::string_view CodeBad = "CODE BAD\r\n";

// 19200 baud, 10 bits a byte (start, 8 data, stop), rounded up.
constexpr SimTime ByteTime{521};
} // namespace wire

// Which reboots a start-up fault applies to: the one that opens an update, the
// one that ends it (after the reset of the defaults), or every one.
enum class RebootSet { None, Start, Final, All };

// Which acknowledgement stray bytes precede.
struct StrayPlace {
    enum class Kind { Esc, Reset, Line };
    Kind kind = Kind::Esc;
    int number = 1; // the n-th ESC of the run, or the line number
};

// Where the monitor drops the line: on the reboot request that opens an
// update (boot), instead of the prompt, when the erase would start, instead
// of the verdict, in the uploader's pause after "CODE OK" (PauseHangUpDelay
// after the verdict, if nothing came meanwhile), on the reset request, or on
// the reboot request that ends the update.
enum class HangUpStage { None, Boot, Prompt, Erase, Verify, Pause, Reset, Reboot };
// Their names for --hangup-at, in the order above.
constexpr std::array<std::string_view, 8> HangUpStageNames = {
    "", "boot", "prompt", "erase", "verify", "pause", "reset", "reboot"};
// Well inside the uploader's 5 s pause before its reset request, and long
// enough for "CODE OK" to have reached it through any adapter.
constexpr std::chrono::milliseconds PauseHangUpDelay{1000};

struct MonitorSettings {
    std::chrono::milliseconds eraseTime{300};
    std::chrono::milliseconds bootDelay{500};
    std::chrono::milliseconds escDelay{0};
    std::chrono::milliseconds verifyTime{100};
    // Silence that ends a record or request shorter than it should be.
    std::chrono::milliseconds gap{200};

    // Faults.
    bool silent = false;
    int replyLine = 0; // 0: none
    std::uint8_t replyByte = wire::NAK;
    bool codeBad = false;
    bool eraseAcks = false;
    std::vector<std::uint8_t> stray;
    StrayPlace strayAt;
    RebootSet noBoot = RebootSet::None;
    RebootSet longStartup = RebootSet::None;
    int hangUpLine = 0; // 0: none
    HangUpStage hangUpAt = HangUpStage::None;
};
