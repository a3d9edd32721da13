#pragma once

#include "ByteDevice.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

// A ByteDevice in front of the real one that notes every byte crossing it,
// with the moment it crossed, so that a run can be compared with the
// simulator's own log: what the program had sent when the window closed, how
// long it took from an acknowledgement to the next line. Noting costs one
// clock read and one append; bytes and failures still reach the waits through
// the device behind, untouched.
class RecordingByteDevice : public ByteDevice {
    Q_OBJECT
public:
    enum class Direction : std::uint8_t { Sent, Received };
    struct Event {
        std::chrono::steady_clock::time_point at;
        Direction direction;
        std::uint8_t byte;
    };

    // keepEvents false: only count the bytes sent, for runs where the
    // recording itself must not take memory.
    explicit RecordingByteDevice(std::unique_ptr<ByteDevice> inner, bool keepEvents = true);

    bool open(int commPort) override;
    void close() override;
    bool isOpen() const override;
    void applySettings(const LineSettings &settings) override;
    int bytesWaiting() const override;
    std::uint8_t takeByte() override;
    void writeByte(std::uint8_t byte) override;
    bool hasFailed() const override;
    QString errorString() const override;

    long long bytesSent() const { return m_bytesSent; }
    const std::vector<Event> &events() const { return m_events; }

private:
    std::unique_ptr<ByteDevice> m_inner;
    bool m_keepEvents = true;
    long long m_bytesSent = 0;
    std::vector<Event> m_events;
};
