#pragma once

#include <array>
#include <chrono>
#include <cstdint>

// Everything the instrument's boot monitor and this program exchange: single
// bytes, two fixed requests, a few texts, and the time and length limits of
// every wait. Written once, here.
namespace Wire {

constexpr std::uint8_t ESC = 0x1B; // attention; the monitor answers it with ACK
constexpr std::uint8_t ACK = 0x06; // accepts ESC, the reset request and each firmware line
constexpr std::uint8_t NAK = 0x15; // refuses a firmware line
constexpr std::uint8_t SOH = 0x01; // opens both requests and every firmware line
constexpr std::uint8_t ENQ = 0x05; // set-up enquiry: twice after the prompt, once after the erase
constexpr std::uint8_t CR = 0x0D;  // CR LF end the access word
constexpr std::uint8_t LF = 0x0A;
constexpr std::uint8_t FlashReady = 0x80; // the flash is erased and the monitor takes the file

// The monitor talks at this speed only, 8 data bits, no parity, 1 stop bit.
constexpr int LineSpeed = 19200;

// SOH, command, 01, 00, and the sum of the three bytes before it.
using Request = std::array<std::uint8_t, 5>;
constexpr Request RebootRequest{0x01, 0x48, 0x01, 0x00, 0x49}; // answered by "boot"
constexpr Request ResetRequest{0x01, 0x3B, 0x01, 0x00,
                               0x3C}; // parameters to factory defaults; answered by ACK

constexpr char AccessWord[] = "quandrel"; // unlocks the monitor; followed by CR LF
constexpr char BootText[] = "boot";       // the instrument has restarted
constexpr char PromptText[] = "MON: ";    // the monitor is listening
constexpr char CodeOkText[] = "CODE OK";  // verdict: the whole image arrived intact
constexpr char CodeBadText[] = "CODE BAD";

// One read; also the unit of counted time (each empty read counts this much).
constexpr std::chrono::milliseconds PollRead{100};
// Gap allowed between bytes of the start-up text when the reboot must not hang.
constexpr std::chrono::milliseconds BootByteGap{5000};
// Let the line go quiet before an exchange begins, so stale bytes can be flushed.
constexpr std::chrono::milliseconds Settle{50};
// The monitor needs this before the access word and before each ENQ.
constexpr std::chrono::milliseconds EnquiryGap{100};
// Before the transfer's first flush: the freshly opened line may still carry noise.
constexpr std::chrono::milliseconds LineQuiet{200};
// Counted-time limits of the waits.
constexpr std::chrono::milliseconds PromptLimit{1000};
constexpr std::chrono::milliseconds FlashEraseLimit{30000}; // erasing the whole flash is slow
constexpr std::chrono::milliseconds LineAckLimit{1000};
constexpr std::chrono::milliseconds ResetAckLimit{1000};
constexpr std::chrono::milliseconds VerificationLimit{15000}; // the monitor checks the whole image
// After the transfer the monitor writes the image away before it listens to a reset.
constexpr std::chrono::milliseconds ResetPause{5000};
// After the reset the parameters are stored before the monitor takes a reboot request.
constexpr std::chrono::milliseconds RebootPause{1000};

// Characters a wait gathers without its text before it gives up.
constexpr int BootTextMaxChars = 30;
constexpr int TextMaxChars = 15;
constexpr int VerdictMaxChars = 25;

} // namespace Wire
