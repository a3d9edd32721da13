#pragma once

#include "SerialLink.h"

#include <QByteArray>
#include <optional>

class RecordingWindow;

// An instrument whose every answer comes from the fuzzer: each read takes the
// next reply byte, where 0xFE stands for a read that times out and 0xFD makes
// the byte after it literal. When the replies run out the operator presses
// Stop. It holds each wait to what it may read: no read once the wait has
// its answer, its character limit or a Stop.
class ReplayingInstrument final : public SerialLink {
public:
    ReplayingInstrument(QByteArray replies, RecordingWindow &window)
        : m_replies(std::move(replies)), m_window(window)
    {
    }

    const QByteArray &wire() const { return m_wire; }
    const QByteArray &received() const { return m_received; }
    bool stopped() const { return m_stopped; }
    int opened = 0;
    int closed = 0;

    void Delay(std::chrono::milliseconds) override {}
    void SendByte(std::uint8_t byte) override;
    int ReadByte(std::chrono::milliseconds timeout) override;
    void FlushInput() override {}
    bool OpenPort() override;
    bool ClosePort() override;

private:
    // -1 for a time-out, else the next reply byte; nothing once they ran out.
    std::optional<int> nextReply();
    // Whether the wait that shows this status is over after these bytes.
    void judge(int received);

    QByteArray m_replies;
    RecordingWindow &m_window;
    qsizetype m_next = 0;
    bool m_stopped = false;
    QByteArray m_wire;
    QByteArray m_received;

    // The wait in progress: it begins with a status or a byte sent.
    int m_waitStatus = -1;
    qsizetype m_waitWire = -1;
    QByteArray m_gathered;
    bool m_waitOver = false;
};
