#include "MonitorMachine.h"

#include <cstdio>
#include <utility>

namespace {

std::string hex2(std::uint8_t value)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

std::string printable(const std::string &text)
{
    std::string shown;
    for (unsigned char c : text)
        shown += (c >= 0x20 && c < 0x7F) ? std::string(1, static_cast<char>(c)) : "\\x" + hex2(c);
    return shown;
}

// Enough for the access word and some noise in front of it.
constexpr std::size_t kTypedLimit = 64;

} // namespace

MonitorMachine::MonitorMachine(MonitorSettings settings) : m_settings(std::move(settings)) {}

void MonitorMachine::receive(std::uint8_t byte, SimTime at)
{
    advance(at);
    if (m_state != State::HungUp)
        handle(byte, at);
}

void MonitorMachine::advance(SimTime now)
{
    while (m_timer != Timer::None && m_timerDue <= now) {
        const Timer timer = std::exchange(m_timer, Timer::None);
        fire(timer, m_timerDue);
    }
}

std::optional<SimTime> MonitorMachine::nextDeadline() const
{
    if (m_timer == Timer::None)
        return std::nullopt;
    return m_timerDue;
}

std::vector<Emission> MonitorMachine::takeEmissions()
{
    return std::exchange(m_emissions, {});
}

std::vector<Note> MonitorMachine::takeNotes()
{
    return std::exchange(m_notes, {});
}

void MonitorMachine::handle(std::uint8_t byte, SimTime at)
{
    switch (m_state) {
    case State::Running:
    case State::Verified:
        if (byte == wire::ESC)
            handleEsc(at);
        else
            note(at, "ignored " + hex2(byte));
        return;
    case State::Attention:
        handleRequestByte(byte, at);
        return;
    case State::Rebooting:
    case State::Erasing:
        note(at, "ignored " + hex2(byte) + " while busy");
        return;
    case State::Booted:
        if (byte == wire::ESC)
            handleEsc(at);
        else
            handleTyped(byte, at);
        return;
    case State::Prompted:
    case State::Erased:
        if (byte == wire::ESC)
            handleEsc(at);
        else
            handleEnq(byte, at);
        return;
    case State::Receiving:
        handleBetweenRecords(byte, at);
        return;
    case State::InRecord:
        m_pending.push_back(byte);
        if (m_pending.size() == recordSize(m_pending.front())) {
            m_timer = Timer::None;
            finishRecord(at);
        } else {
            setTimer(Timer::RecordGap, at + m_settings.gap);
        }
        return;
    case State::Verifying:
        spoil(at, "byte " + hex2(byte) + " after the end-of-file record");
        return;
    case State::HungUp:
        return;
    }
}

void MonitorMachine::handleEsc(SimTime at)
{
    ++m_escs;
    if (m_state == State::Receiving)
        note(at, "transfer abandoned after line " + std::to_string(m_line));
    if (m_state != State::Attention)
        m_stateBeforeEsc = m_state;
    m_state = State::Attention;
    m_pending.clear();
    m_timer = Timer::None;

    std::vector<std::uint8_t> reply;
    if (m_settings.strayAt.kind == StrayPlace::Kind::Esc && m_settings.strayAt.number == m_escs)
        reply = m_settings.stray;
    reply.push_back(wire::ACK);
    emit(at + m_settings.escDelay, std::move(reply));
    note(at, "ESC " + std::to_string(m_escs) + " acknowledged");
}

void MonitorMachine::handleRequestByte(std::uint8_t byte, SimTime at)
{
    if (m_pending.empty() && byte == wire::ESC) {
        handleEsc(at);
        return;
    }
    if (m_pending.empty() && byte != wire::SOH) {
        note(at, "no request after ESC");
        m_state = m_stateBeforeEsc;
        handle(byte, at);
        return;
    }
    m_pending.push_back(byte);
    if (m_pending.size() < wire::RequestSize) {
        setTimer(Timer::RequestGap, at + m_settings.gap);
        return;
    }
    m_timer = Timer::None;
    finishRequest(at);
}

void MonitorMachine::finishRequest(SimTime at)
{
    const std::vector<std::uint8_t> request = std::exchange(m_pending, {});
    const std::uint8_t command = request[1];
    const bool wellFormed =
        request[2] == 0x01 && request[3] == 0x00 &&
        request[4] == static_cast<std::uint8_t>(request[1] + request[2] + request[3]);
    if (!wellFormed || (command != wire::RebootCommand && command != wire::ResetCommand)) {
        std::string shown;
        for (std::uint8_t b : request)
            shown += " " + hex2(b);
        note(at, "refused request" + shown);
        emit(at, {wire::NAK});
        m_state = m_stateBeforeEsc;
        return;
    }
    if (command == wire::RebootCommand) {
        m_finalReboot = m_stage == UpdateStage::DefaultsReset;
        if (hangsUpAt(m_finalReboot ? HangUpStage::Reboot : HangUpStage::Boot, at))
            return;
        note(at, m_finalReboot ? "reboot request ending the update" : "reboot request");
        m_state = State::Rebooting;
        setTimer(Timer::BootDone, at + m_settings.bootDelay);
        return;
    }
    if (hangsUpAt(HangUpStage::Reset, at))
        return;
    std::vector<std::uint8_t> reply;
    if (m_settings.strayAt.kind == StrayPlace::Kind::Reset)
        reply = m_settings.stray;
    reply.push_back(wire::ACK);
    emit(at, std::move(reply));
    if (m_stage == UpdateStage::VerdictOk)
        m_stage = UpdateStage::DefaultsReset;
    note(at, "parameters reset to factory defaults");
    m_state = State::Running;
}

void MonitorMachine::handleTyped(std::uint8_t byte, SimTime at)
{
    m_typed.push_back(static_cast<char>(byte));
    if (m_typed.size() > kTypedLimit)
        m_typed.erase(0, m_typed.size() - kTypedLimit);
    const std::size_t size = m_typed.size();
    if (size < 2 || m_typed[size - 2] != '\r' || m_typed[size - 1] != '\n')
        return;
    const std::string line = m_typed.substr(0, size - 2);
    m_typed.clear();
    if (line != wire::AccessWord) {
        note(at, "wrong access word \"" + printable(line) + "\"");
        return;
    }
    if (hangsUpAt(HangUpStage::Prompt, at))
        return;
    note(at, "access word accepted: a new update begins");
    emitText(at, wire::Prompt);
    m_state = State::Prompted;
    m_stage = UpdateStage::MonitorEntered;
    m_enqs = 0;
    m_line = 0;
    m_fault.clear();
    m_image.clear();
}

void MonitorMachine::handleEnq(std::uint8_t byte, SimTime at)
{
    if (byte != wire::ENQ) {
        note(at, "ignored " + hex2(byte) + ", waiting for ENQ");
        return;
    }
    if (m_state == State::Erased) {
        note(at, "ENQ after the erase: ready for records");
        m_state = State::Receiving;
        return;
    }
    if (++m_enqs < 2 || hangsUpAt(HangUpStage::Erase, at))
        return;
    note(at, "flash erase started");
    m_state = State::Erasing;
    m_image.clear();
    setTimer(Timer::EraseDone, at + m_settings.eraseTime);
    if (m_settings.eraseAcks) {
        for (SimTime t = std::chrono::seconds(1); t < m_settings.eraseTime;
             t += std::chrono::seconds(1))
            emit(at + t, {wire::ACK});
    }
}

void MonitorMachine::handleBetweenRecords(std::uint8_t byte, SimTime at)
{
    if (byte == wire::ESC) {
        handleEsc(at);
        return;
    }
    if (byte != wire::SOH) {
        spoil(at, "byte " + hex2(byte) + " after line " + std::to_string(m_line) +
                      ": line longer than its byte count");
        return;
    }
    ++m_line;
    m_stage = UpdateStage::Transferring;
    if (m_line == m_settings.hangUpLine) {
        note(at, "hanging up at line " + std::to_string(m_line));
        m_state = State::HungUp;
        m_timer = Timer::None;
        return;
    }
    m_state = State::InRecord;
    m_pending.clear();
    setTimer(Timer::RecordGap, at + m_settings.gap);
}

void MonitorMachine::finishRecord(SimTime at)
{
    const RecordCheck check = checkRecord(std::exchange(m_pending, {}));
    const std::string line = "line " + std::to_string(m_line);
    m_state = State::Receiving;
    std::uint8_t answer = check.ok() ? wire::ACK : wire::NAK;
    if (m_line == m_settings.replyLine)
        answer = m_settings.replyByte;

    if (!check.ok()) {
        spoil(at, line + " refused: " + check.detail);
    } else if (answer != wire::ACK) {
        spoil(at, line + " answered " + hex2(answer) + " on request");
    } else {
        switch (m_image.apply(check.record)) {
        case FlashImage::Load::Overlap:
            spoil(at, line + " writes over bytes already written");
            break;
        case FlashImage::Load::EndOfFile:
            note(at, line + ": end of file, verifying");
            m_state = State::Verifying;
            setTimer(Timer::Verdict, at + m_settings.verifyTime);
            break;
        case FlashImage::Load::Stored:
        case FlashImage::Load::Ignored:
            break;
        }
    }
    answerLine(answer, at);
}

void MonitorMachine::answerLine(std::uint8_t answer, SimTime at)
{
    std::vector<std::uint8_t> reply;
    if (m_settings.strayAt.kind == StrayPlace::Kind::Line && m_settings.strayAt.number == m_line)
        reply = m_settings.stray;
    reply.push_back(answer);
    emit(at, std::move(reply));
}

void MonitorMachine::fire(Timer timer, SimTime at)
{
    switch (timer) {
    case Timer::None:
        return;
    case Timer::RecordGap:
        finishRecord(at);
        return;
    case Timer::RequestGap:
        note(at, "request left unfinished");
        m_pending.clear();
        m_state = m_stateBeforeEsc;
        return;
    case Timer::BootDone:
        startup(at);
        return;
    case Timer::EraseDone:
        note(at, "flash erased");
        emit(at, {wire::FlashReady});
        m_state = State::Erased;
        m_stage = UpdateStage::FlashErased;
        return;
    case Timer::Verdict: {
        if (hangsUpAt(HangUpStage::Verify, at))
            return;
        if (m_settings.codeBad && m_fault.empty())
            m_fault = "refused on request";
        const bool bad = !m_fault.empty();
        emitText(at, bad ? wire::CodeBad : wire::CodeOk);
        m_stage = bad ? UpdateStage::VerdictBad : UpdateStage::VerdictOk;
        m_state = State::Verified;
        note(at, bad ? "verdict CODE BAD: " + m_fault : "verdict CODE OK");
        if (!bad && m_settings.hangUpAt == HangUpStage::Pause)
            setTimer(Timer::PauseHangUp, at + PauseHangUpDelay);
        return;
    }
    case Timer::PauseHangUp:
        hangsUpAt(HangUpStage::Pause, at);
        return;
    }
}

void MonitorMachine::startup(SimTime at)
{
    m_state = State::Booted;
    m_typed.clear();
    if (applies(m_settings.noBoot)) {
        note(at, "rebooted without a start-up text");
        return;
    }
    if (applies(m_settings.longStartup)) {
        note(at, "rebooted with a long start-up text");
        emitText(at, wire::LongStartupText);
        return;
    }
    emitText(at, wire::StartupText);
    if (m_finalReboot) {
        m_stage = UpdateStage::Complete;
        note(at, "rebooted: update complete");
    } else {
        note(at, "rebooted into the boot monitor");
    }
}

void MonitorMachine::spoil(SimTime at, const std::string &why)
{
    if (m_fault.empty())
        m_fault = why;
    note(at, why);
}

bool MonitorMachine::hangsUpAt(HangUpStage stage, SimTime at)
{
    if (m_settings.hangUpAt != stage)
        return false;
    note(at, "hanging up at " + std::string(HangUpStageNames[static_cast<std::size_t>(stage)]));
    m_state = State::HungUp;
    m_timer = Timer::None;
    return true;
}

bool MonitorMachine::applies(RebootSet set) const
{
    return set == RebootSet::All || (set == RebootSet::Start && !m_finalReboot) ||
           (set == RebootSet::Final && m_finalReboot);
}

void MonitorMachine::setTimer(Timer timer, SimTime due)
{
    m_timer = timer;
    m_timerDue = due;
}

void MonitorMachine::emit(SimTime at, std::vector<std::uint8_t> bytes)
{
    if (!m_settings.silent && !bytes.empty())
        m_emissions.push_back({at, std::move(bytes)});
}

void MonitorMachine::emitText(SimTime at, std::string_view text)
{
    emit(at, std::vector<std::uint8_t>(text.begin(), text.end()));
}

void MonitorMachine::note(SimTime at, std::string text)
{
    m_notes.push_back({at, std::move(text)});
}
