#include "ScriptedInstrument.h"

#include "UploaderError.h"

#include <stdexcept>

ScriptedInstrument &ScriptedInstrument::answer(const QByteArray &trigger,
                                               std::vector<Arrival> arrivals)
{
    m_answers.push_back({trigger, std::move(arrivals)});
    return *this;
}

ScriptedInstrument &ScriptedInstrument::answer(const QByteArray &trigger, const QByteArray &bytes,
                                               ms after)
{
    return answer(trigger, std::vector<Arrival>{{after, bytes}});
}

void ScriptedInstrument::arriveAt(ms moment, const QByteArray &bytes)
{
    for (const char byte : bytes)
        m_arrivals.emplace(moment, static_cast<std::uint8_t>(byte));
}

void ScriptedInstrument::at(ms moment, std::function<void()> action)
{
    m_actions.emplace(moment, std::move(action));
}

void ScriptedInstrument::whenSent(const QByteArray &trigger, ms after, std::function<void()> action,
                                  int occurrence)
{
    m_watches.push_back({trigger, after, std::move(action), occurrence, {}});
}

void ScriptedInstrument::pullAdapter()
{
    m_pulled = true;
    throwIfPulled();
}

void ScriptedInstrument::pullAdapterAt(ms moment)
{
    at(moment, [this] { pullAdapter(); });
}

QByteArray ScriptedInstrument::wire() const
{
    return wireFrom(ms{0});
}

QByteArray ScriptedInstrument::wireFrom(ms moment) const
{
    QByteArray bytes;
    for (const Sent &s : sent)
        if (s.at >= moment)
            bytes.append(static_cast<char>(s.byte));
    return bytes;
}

void ScriptedInstrument::throwIfPulled() const
{
    if (m_pulled)
        throw SerialLinkError(57, QStringLiteral("adapter pulled"));
}

void ScriptedInstrument::runUntil(ms moment)
{
    while (!m_actions.empty() && m_actions.begin()->first <= moment) {
        auto due = m_actions.begin();
        m_now = std::max(m_now, due->first);
        std::function<void()> action = std::move(due->second);
        m_actions.erase(due);
        action();
    }
    m_now = std::max(m_now, moment);
    // A wait that never ends on the virtual clock is a fault, not a slow test.
    if (m_now > std::chrono::hours(24))
        throw std::runtime_error("the update is still waiting after a virtual day");
}

bool ScriptedInstrument::byteWaiting() const
{
    return !m_arrivals.empty() && m_arrivals.begin()->first <= m_now;
}

void ScriptedInstrument::Delay(ms wait)
{
    throwIfPulled();
    runUntil(m_now + wait);
}

void ScriptedInstrument::SendByte(std::uint8_t byte)
{
    throwIfPulled();
    if (!open)
        return;
    sent.push_back({m_now, byte});
    m_sinceAnswer.append(static_cast<char>(byte));
    for (Watch &watch : m_watches) {
        if (watch.remaining == 0)
            continue;
        watch.since.append(static_cast<char>(byte));
        if (watch.since.endsWith(watch.trigger)) {
            watch.since.clear();
            if (--watch.remaining == 0)
                at(m_now + watch.after, watch.action);
        }
    }
    if (!m_answers.empty() && m_sinceAnswer.endsWith(m_answers.front().trigger)) {
        for (const Arrival &arrival : m_answers.front().arrivals)
            arriveAt(m_now + arrival.after, arrival.bytes);
        m_answers.pop_front();
        m_sinceAnswer.clear();
    }
}

int ScriptedInstrument::ReadByte(ms timeout)
{
    throwIfPulled();
    if (!open)
        return -1;
    const ms deadline = m_now + timeout;
    for (;;) {
        if (byteWaiting()) {
            const auto first = m_arrivals.begin();
            const std::uint8_t byte = first->second;
            m_arrivals.erase(first);
            return byte;
        }
        // Whatever comes next within the window: an action or a byte. A byte
        // landing on the deadline loses to the time-out and stays waiting.
        ms next = deadline;
        if (!m_arrivals.empty() && m_arrivals.begin()->first < deadline)
            next = m_arrivals.begin()->first;
        if (!m_actions.empty() && m_actions.begin()->first < next)
            next = m_actions.begin()->first;
        runUntil(next);
        throwIfPulled();
        if (m_now >= deadline)
            return -1;
    }
}

void ScriptedInstrument::FlushInput()
{
    throwIfPulled();
    runUntil(m_now);
    while (byteWaiting())
        m_arrivals.erase(m_arrivals.begin());
}

bool ScriptedInstrument::OpenPort()
{
    throwIfPulled();
    ++openCalls;
    if (openFails)
        return false;
    open = true;
    runUntil(m_now + ms{200});
    return true;
}

bool ScriptedInstrument::ClosePort()
{
    ++closeCalls;
    open = false;
    return true;
}
