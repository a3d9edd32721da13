#pragma once

#include "SerialLink.h"
#include "UploaderError.h"

#include <QByteArray>
#include <deque>
#include <functional>
#include <map>
#include <stdexcept>

// The instrument on a virtual clock: an empty read moves it on by its time-out,
// a Delay by its wait; bytes (one due at a read's deadline still comes) and
// actions (Stop, a pulled adapter) happen at their moment inside the wait.
class ScriptedInstrument : public SerialLink {
public:
    using ms = std::chrono::milliseconds;
    using Arrival = std::pair<ms, QByteArray>; // bytes, and when they come

    // Once the bytes sent since the previous answer end in `trigger`, each part
    // arrives `after` that moment. Answers are used in order, each once.
    ScriptedInstrument &answer(const QByteArray &trigger, std::vector<Arrival> arrivals)
    {
        m_answers.push_back({trigger, std::move(arrivals)});
        return *this;
    }
    void at(ms moment, std::function<void()> action) { m_events.emplace(moment, action); }
    // Runs the action `after` the first time the bytes sent end in `trigger`.
    void whenSent(const QByteArray &trigger, ms after, std::function<void()> action)
    {
        m_watches.push_back({trigger, {}, after, action});
    }
    void pullAdapter() { m_pulled = true; } // every later call throws SerialLinkError

    QByteArray wire;
    std::vector<ms> sentAt;                        // when each byte of the wire arrived
    std::vector<std::pair<ms, qsizetype>> flushes; // when, and wire bytes out by then
    bool open = false, openFails = false;
    std::function<void()> onSend; // called as each byte goes out

    void Delay(ms wait) override { runUntil(m_now + wait); }
    void SendByte(std::uint8_t byte) override
    {
        runUntil(m_now);
        if (!open)
            return;
        wire.append(static_cast<char>(byte));
        sentAt.push_back(m_now);
        if (onSend)
            onSend();
        for (Cue &watch : m_watches) {
            if (watch.action && wire.endsWith(watch.trigger))
                at(m_now + watch.after, std::exchange(watch.action, nullptr));
        }
        if (m_answers.empty() || wire.size() - m_answered < m_answers.front().trigger.size() ||
            !wire.endsWith(m_answers.front().trigger))
            return;
        for (const Arrival &arrival : m_answers.front().arrivals)
            at(m_now + arrival.first, [this, arrival] { m_input += arrival.second; });
        m_answers.pop_front();
        m_answered = wire.size();
    }
    int ReadByte(ms timeout) override
    {
        const ms deadline = m_now + timeout;
        for (runUntil(m_now); open && m_input.isEmpty() && m_now < deadline;)
            runUntil(m_events.empty() ? deadline : std::min(deadline, m_events.begin()->first));
        if (!open || m_input.isEmpty())
            return -1;
        const char byte = m_input.front();
        m_input.remove(0, 1);
        return static_cast<std::uint8_t>(byte);
    }
    void FlushInput() override
    {
        runUntil(m_now);
        flushes.emplace_back(m_now, wire.size());
        m_input.clear();
    }
    bool OpenPort() override
    {
        open = !openFails;
        runUntil(m_now + (open ? ms{200} : ms{0})); // the port settles
        return open;
    }
    bool ClosePort() override { return !(open = false); }

private:
    struct Cue {
        QByteArray trigger;
        std::vector<Arrival> arrivals;
        ms after{0};
        std::function<void()> action = {};
    };

    void runUntil(ms moment)
    {
        while (!m_pulled && !m_events.empty() && m_events.begin()->first <= moment) {
            m_now = std::max(m_now, m_events.begin()->first);
            const std::function<void()> event = m_events.begin()->second;
            m_events.erase(m_events.begin());
            event();
        }
        if (m_pulled)
            throw SerialLinkError(ErrorCode::DeviceIoError, QStringLiteral("adapter pulled"));
        m_now = std::max(m_now, moment);
        if (m_now > std::chrono::hours(24)) // a wait that never ends is a fault
            throw std::runtime_error("still waiting after a virtual day");
    }

    ms m_now{0};
    bool m_pulled = false;
    QByteArray m_input;
    qsizetype m_answered = 0; // wire bytes that the previous answer followed
    std::deque<Cue> m_answers, m_watches;
    std::multimap<ms, std::function<void()>> m_events;
};
