#pragma once

#include "SerialLink.h"
#include "UploaderError.h"

#include <QByteArray>
#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <vector>

// A scripted instrument on a virtual clock, standing in for the serial line.
// A read that times out moves the clock on by its time-out, a Delay by its
// wait; bytes scheduled inside a read's window come at their moment. Actions
// (a click on Stop, a pulled adapter) run at their moment inside whatever wait
// covers it, as window events do on the real line. Nothing sleeps.
class ScriptedInstrument : public SerialLink {
public:
    using ms = std::chrono::milliseconds;
    struct Arrival {
        ms after;
        QByteArray bytes;
    };

    // Once the bytes sent since the previous answer end in `trigger`, the
    // answer's bytes arrive, each part `after` that moment. Answers are used
    // in order, each once.
    ScriptedInstrument &answer(const QByteArray &trigger, std::vector<Arrival> arrivals)
    {
        m_answers.push_back({trigger, std::move(arrivals)});
        return *this;
    }
    void arriveAt(ms moment, const QByteArray &bytes)
    {
        for (const char byte : bytes)
            m_arrivals.emplace(moment, static_cast<std::uint8_t>(byte));
    }
    void at(ms moment, std::function<void()> action) { m_actions.emplace(moment, action); }
    // Runs the action `after` the `occurrence`-th time the trigger has been sent.
    void whenSent(const QByteArray &trigger, ms after, std::function<void()> action, int occurrence)
    {
        m_watches.push_back({trigger, {}, occurrence, action, after});
    }
    // From then on every call on the line throws SerialLinkError.
    void pullAdapter()
    {
        m_pulled = true;
        throwIfPulled();
    }

    QByteArray wire;
    std::vector<ms> sentAt; // the moment of each byte of wire
    bool open = false, openFails = false;
    int openCalls = 0, closeCalls = 0;

    void Delay(ms wait) override { runUntil(m_now + wait); }
    void SendByte(std::uint8_t byte) override
    {
        throwIfPulled();
        if (!open)
            return;
        wire.append(static_cast<char>(byte));
        sentAt.push_back(m_now);
        for (Cue &watch : m_watches) {
            if (watch.remaining > 0 && (watch.since += char(byte)).endsWith(watch.trigger)) {
                watch.since.clear();
                if (--watch.remaining == 0)
                    at(m_now + watch.after, watch.action);
            }
        }
        if (m_answers.empty() ||
            !(m_answers.front().since += char(byte)).endsWith(m_answers.front().trigger))
            return;
        for (const Arrival &arrival : m_answers.front().arrivals)
            arriveAt(m_now + arrival.after, arrival.bytes);
        m_answers.pop_front();
    }
    int ReadByte(ms timeout) override
    {
        throwIfPulled();
        const ms deadline = m_now + timeout;
        while (open) {
            if (byteWaiting()) {
                const std::uint8_t byte = m_arrivals.begin()->second;
                m_arrivals.erase(m_arrivals.begin());
                return byte;
            }
            if (m_now >= deadline)
                break;
            // Up to whatever comes next within the window, an action or a byte.
            // A byte landing on the deadline loses to the time-out and stays.
            ms next = deadline;
            if (!m_arrivals.empty())
                next = std::min(next, m_arrivals.begin()->first);
            if (!m_actions.empty())
                next = std::min(next, m_actions.begin()->first);
            runUntil(next);
            if (m_now >= deadline)
                break;
        }
        return -1;
    }
    void FlushInput() override
    {
        runUntil(m_now);
        while (byteWaiting())
            m_arrivals.erase(m_arrivals.begin());
    }
    bool OpenPort() override
    {
        throwIfPulled();
        ++openCalls;
        open = !openFails;
        if (open)
            runUntil(m_now + ms{200});
        return open;
    }
    bool ClosePort() override
    {
        ++closeCalls;
        open = false;
        return true;
    }

private:
    struct Cue {
        QByteArray trigger;
        std::vector<Arrival> arrivals;
        int remaining = 1;
        std::function<void()> action = {};
        ms after{0};
        QByteArray since = {};
    };

    void throwIfPulled() const
    {
        if (m_pulled)
            throw SerialLinkError(ErrorCode::DeviceIoError, QStringLiteral("adapter pulled"));
    }
    // Runs the actions due up to the moment, in order, and sets the clock to it.
    void runUntil(ms moment)
    {
        throwIfPulled();
        while (!m_actions.empty() && m_actions.begin()->first <= moment) {
            m_now = std::max(m_now, m_actions.begin()->first);
            const std::function<void()> action = m_actions.begin()->second;
            m_actions.erase(m_actions.begin());
            action();
        }
        m_now = std::max(m_now, moment);
        // A wait that never ends on the virtual clock is a fault, not a slow test.
        if (m_now > std::chrono::hours(24))
            throw std::runtime_error("still waiting after a virtual day");
    }
    bool byteWaiting() const { return !m_arrivals.empty() && m_arrivals.begin()->first <= m_now; }

    ms m_now{0};
    bool m_pulled = false;
    std::deque<Cue> m_answers;
    std::vector<Cue> m_watches;
    std::multimap<ms, std::uint8_t> m_arrivals;
    std::multimap<ms, std::function<void()>> m_actions;
};
