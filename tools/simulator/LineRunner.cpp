#include "LineRunner.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

// Once the final start-up text is out: how long to let the program read it
// and close its port before the line goes away, and the most to wait for it.
constexpr SimTime kSettleAfterRead = std::chrono::milliseconds(300);
constexpr SimTime kSettleLimit = std::chrono::seconds(3);
constexpr SimTime kSettlePoll = std::chrono::milliseconds(20);
constexpr SimTime kLongestWait = std::chrono::milliseconds(200);
constexpr SimTime kWakeAhead = std::chrono::microseconds(200);

} // namespace

LineRunner::LineRunner(LineEndpoint &line, MonitorMachine &machine, TrafficLog &log,
                       RunnerSettings settings)
    : m_line(line), m_machine(machine), m_log(log), m_settings(settings)
{
}

void LineRunner::requestStop()
{
    g_stopRequested = 1;
}

SimTime LineRunner::elapsed() const
{
    return std::chrono::duration_cast<SimTime>(std::chrono::steady_clock::now() - m_start);
}

LineRunner::End LineRunner::run()
{
    // A paced reply is due at the microsecond its last bit would arrive; the
    // kernel's default timer slack would let every one of them leave up to
    // 50 us late, which over thousands of lines looks like a slow program.
    if (m_settings.pacing)
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    for (;;) {
        const SimTime t = elapsed();
        while (!m_inbound.empty() && m_inbound.front().at <= t) {
            m_machine.receive(m_inbound.front().byte, m_inbound.front().at);
            m_inbound.pop_front();
        }
        m_machine.advance(t);
        collect();
        if (m_machine.hangUpWanted()) {
            // What the monitor said before it dropped the line still goes out.
            writeDue(t);
            m_line.hangUp();
            return End::HungUp;
        }
        if (!writeDue(t))
            return End::LineFailed;
        if (updateSettled(t))
            return End::UpdateDone;
        if (g_stopRequested)
            return End::Stopped;
        if (m_settings.timeout && t >= *m_settings.timeout)
            return End::TimedOut;

        m_log.flush();
        SimTime wake = nextWake(t);
        // Waking from a sleep takes tens of microseconds on a loaded or virtual
        // machine: a paced reply that is due soon is waited for awake, so that
        // it leaves when its last bit would have.
        if (m_settings.pacing && !m_outbound.empty() && !m_writeBlocked)
            wake = std::min(wake, sendTime(m_outbound.front()) - kWakeAhead);
        const SimTime wait = std::clamp(wake - t, SimTime{0}, kLongestWait);
        const timespec sleep{0, static_cast<long>(wait.count()) * 1000};
        pollfd watch{m_line.fd(), static_cast<short>(POLLIN | (m_writeBlocked ? POLLOUT : 0)), 0};
        const int ready = ::ppoll(&watch, 1, &sleep, nullptr);
        if (ready < 0 && errno != EINTR) {
            m_failure = std::string("poll: ") + std::strerror(errno);
            return End::LineFailed;
        }
        if (ready > 0 && (watch.revents & POLLIN) && !readAvailable())
            return End::LineFailed;
        if (ready > 0 && (watch.revents & (POLLERR | POLLNVAL))) {
            m_failure = "the line reported an error";
            return End::LineFailed;
        }
        m_writeBlocked = false;
    }
}

bool LineRunner::readAvailable()
{
    std::uint8_t buffer[256];
    const ssize_t count = ::read(m_line.fd(), buffer, sizeof buffer);
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (count <= 0) {
        m_failure = count == 0 ? "the line closed" : std::string("read: ") + std::strerror(errno);
        return false;
    }
    const SimTime t = elapsed();
    for (ssize_t i = 0; i < count; ++i) {
        m_log.received(t, buffer[i]);
        // On the wire a byte has arrived only when its stop bit has.
        const SimTime done = m_settings.pacing ? std::max(t, m_lastReceived) + wire::ByteTime : t;
        m_lastReceived = done;
        m_inbound.push_back({done, buffer[i]});
    }
    return true;
}

SimTime LineRunner::sendTime(const Timed &next) const
{
    // Written to the line when its stop bit would have reached the far end.
    return m_settings.pacing ? std::max(next.at, m_lastSent) + wire::ByteTime : next.at;
}

bool LineRunner::writeDue(SimTime t)
{
    while (!m_outbound.empty() && sendTime(m_outbound.front()) <= t) {
        const Timed next = m_outbound.front();
        const ssize_t written = ::write(m_line.fd(), &next.byte, 1);
        if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
            m_writeBlocked = true;
            return true;
        }
        if (written != 1) {
            m_failure = std::string("write: ") + std::strerror(errno);
            return false;
        }
        m_lastSent = sendTime(next);
        m_outbound.pop_front();
        m_log.sent(elapsed(), next.byte);
    }
    return true;
}

void LineRunner::collect()
{
    for (const Emission &emission : m_machine.takeEmissions()) {
        // Later emissions may be due sooner (ACKs scheduled through an erase).
        auto at =
            std::upper_bound(m_outbound.begin(), m_outbound.end(), emission.at,
                             [](SimTime due, const Timed &queued) { return due < queued.at; });
        for (std::uint8_t byte : emission.bytes)
            at = std::next(m_outbound.insert(at, Timed{emission.at, byte}));
    }
    for (const Note &note : m_machine.takeNotes())
        m_log.note(note.at, note.text);
}

bool LineRunner::updateSettled(SimTime t)
{
    if (!m_settings.exitAfterUpdate || m_machine.stage() != UpdateStage::Complete ||
        !m_outbound.empty())
        return false;
    if (!m_completeAt)
        m_completeAt = t;
    if (m_line.peerHasUnread()) {
        m_drainedAt.reset();
        return t - *m_completeAt >= kSettleLimit;
    }
    if (!m_drainedAt)
        m_drainedAt = t;
    return t - *m_drainedAt >= kSettleAfterRead;
}

SimTime LineRunner::nextWake(SimTime t) const
{
    SimTime wake = t + kLongestWait;
    if (!m_inbound.empty())
        wake = std::min(wake, m_inbound.front().at);
    if (!m_outbound.empty())
        wake = std::min(wake, m_writeBlocked ? t + kSettlePoll : sendTime(m_outbound.front()));
    if (const auto deadline = m_machine.nextDeadline())
        wake = std::min(wake, *deadline);
    if (m_settings.timeout)
        wake = std::min(wake, SimTime{*m_settings.timeout});
    if (m_completeAt)
        wake = std::min(wake, t + kSettlePoll);
    return wake;
}
