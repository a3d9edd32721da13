#pragma once

#include "SerialLink.h"

#include <QByteArray>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

// A scripted instrument on a virtual clock, standing in for the serial line.
// A read that times out moves the clock on by its time-out, a Delay by its
// wait; bytes scheduled inside a read's window come at their moment. Actions
// (a click on Stop, a pulled adapter) run at their moment inside whatever wait
// covers it, as window events do on the real line. Nothing sleeps.
class ScriptedInstrument : public SerialLink {
public:
    using ms = std::chrono::milliseconds;

    struct Sent {
        ms at;
        std::uint8_t byte;
    };
    struct Arrival {
        ms after;
        QByteArray bytes;
    };

    // Once the bytes sent since the previous answer end in `trigger`, the
    // answer's bytes arrive, each part `after` that moment. Answers are
    // used in order, each once.
    ScriptedInstrument &answer(const QByteArray &trigger, std::vector<Arrival> arrivals);
    ScriptedInstrument &answer(const QByteArray &trigger, const QByteArray &bytes,
                               ms after = ms{10});
    void arriveAt(ms moment, const QByteArray &bytes);
    void at(ms moment, std::function<void()> action);
    // Runs the action `after` the `occurrence`-th time the trigger has been sent.
    void whenSent(const QByteArray &trigger, ms after, std::function<void()> action,
                  int occurrence = 1);
    // From then on every call on the line throws SerialLinkError.
    void pullAdapter();
    void pullAdapterAt(ms moment);

    ms now() const { return m_now; }
    QByteArray wire() const;
    // Bytes sent from the first one at or after the moment.
    QByteArray wireFrom(ms moment) const;

    bool open = false;
    bool openFails = false;
    int openCalls = 0;
    int closeCalls = 0;
    std::vector<Sent> sent;

    void Delay(ms wait) override;
    void SendByte(std::uint8_t byte) override;
    int ReadByte(ms timeout) override;
    void FlushInput() override;
    bool OpenPort() override;
    bool ClosePort() override;

private:
    struct Answer {
        QByteArray trigger;
        std::vector<Arrival> arrivals;
    };

    struct Watch {
        QByteArray trigger;
        ms after;
        std::function<void()> action;
        int remaining;
        QByteArray since;
    };

    void throwIfPulled() const;
    // Runs the actions due up to the moment (in order) and sets the clock to it.
    void runUntil(ms moment);
    bool byteWaiting() const;

    ms m_now{0};
    bool m_pulled = false;
    std::deque<Answer> m_answers;
    QByteArray m_sinceAnswer;
    std::vector<Watch> m_watches;
    std::multimap<ms, std::uint8_t> m_arrivals;
    std::multimap<ms, std::function<void()>> m_actions;
};
