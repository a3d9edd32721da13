#pragma once

#include "FlashImage.h"
#include "MonitorSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How far the latest update got, as the instrument saw it.
enum class UpdateStage {
    None,           // the monitor was never entered
    MonitorEntered, // access word accepted
    FlashErased,
    Transferring,  // records arriving
    VerdictBad,    // "CODE BAD" sent
    VerdictOk,     // "CODE OK" sent
    DefaultsReset, // reset request acknowledged after "CODE OK"
    Complete,      // rebooted after the reset: the update is whole
};

// Bytes to send, not before `at`.
struct Emission {
    SimTime at;
    std::vector<std::uint8_t> bytes;
};

// What the monitor made of the traffic, for the log.
struct Note {
    SimTime at;
    std::string text;
};

// The instrument's boot monitor: bytes in with the time they were received,
// bytes out with the time they are due. It does no I/O and reads no clock;
// advance() lets its timers (erase, reboot, verdict, gaps) run.
class MonitorMachine {
public:
    explicit MonitorMachine(MonitorSettings settings);

    void receive(std::uint8_t byte, SimTime at);
    void advance(SimTime now);
    // When advance() has something to do next, if ever.
    std::optional<SimTime> nextDeadline() const;

    std::vector<Emission> takeEmissions();
    std::vector<Note> takeNotes();

    UpdateStage stage() const { return m_stage; }
    bool hangUpWanted() const { return m_state == State::HungUp; }
    const FlashImage &image() const { return m_image; }
    // Lines (SOH) of the latest update.
    int lines() const { return m_line; }
    // Why the latest update's image is bad, when it is.
    const std::string &fault() const { return m_fault; }

private:
    enum class State {
        Running,   // application running: only ESC means something
        Attention, // ESC acknowledged, a request may follow
        Rebooting, // deaf until the start-up text
        Booted,    // boot monitor waiting for the access word
        Prompted,  // counting the set-up ENQs
        Erasing,
        Erased,    // waiting for the ENQ that starts the transfer
        Receiving, // between records
        InRecord,
        Verifying, // end-of-file record taken, verdict pending
        Verified,
        HungUp,
    };
    enum class Timer { None, RecordGap, RequestGap, BootDone, EraseDone, Verdict, PauseHangUp };

    void handle(std::uint8_t byte, SimTime at);
    void handleEsc(SimTime at);
    void handleRequestByte(std::uint8_t byte, SimTime at);
    void handleTyped(std::uint8_t byte, SimTime at);
    void handleEnq(std::uint8_t byte, SimTime at);
    void handleBetweenRecords(std::uint8_t byte, SimTime at);
    void finishRequest(SimTime at);
    void finishRecord(SimTime at);
    void answerLine(std::uint8_t answer, SimTime at);
    void fire(Timer timer, SimTime at);
    void startup(SimTime at);
    void spoil(SimTime at, const std::string &why);
    // True, with the line dropped, when the settings hang up at `stage`.
    bool hangsUpAt(HangUpStage stage, SimTime at);

    void setTimer(Timer timer, SimTime due);
    void emit(SimTime at, std::vector<std::uint8_t> bytes);
    void emitText(SimTime at, std::string_view text);
    void note(SimTime at, std::string text);
    bool applies(RebootSet set) const;

    MonitorSettings m_settings;
    State m_state = State::Running;
    State m_stateBeforeEsc = State::Running;
    UpdateStage m_stage = UpdateStage::None;
    Timer m_timer = Timer::None;
    SimTime m_timerDue{};
    std::vector<std::uint8_t> m_pending; // the record or request being received
    std::string m_typed;                 // the access word being typed
    bool m_finalReboot = false;
    int m_enqs = 0;
    int m_escs = 0;
    int m_line = 0;
    std::string m_fault;
    FlashImage m_image;
    std::vector<Emission> m_emissions;
    std::vector<Note> m_notes;
};
