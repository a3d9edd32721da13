#pragma once

#include "ByteDevice.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

// A ByteDevice in front of the real one noting every byte and when it crossed.
class RecordingByteDevice : public ByteDevice {
public:
    enum class Direction : std::uint8_t { Sent, Received };
    struct Event {
        std::chrono::steady_clock::time_point at;
        Direction direction;
        std::uint8_t byte;
    };

    explicit RecordingByteDevice(std::unique_ptr<ByteDevice> inner, bool keepEvents = true)
        : m_inner(std::move(inner)), m_keepEvents(keepEvents)
    {
    }

    bool open(int commPort) override { return m_inner->open(commPort); }
    void close() override { m_inner->close(); }
    bool isOpen() const override { return m_inner->isOpen(); }
    void applySettings(const LineSettings &settings) override { m_inner->applySettings(settings); }
    int bytesWaiting() const override { return m_inner->bytesWaiting(); }
    std::uint8_t takeByte() override
    {
        const std::uint8_t byte = m_inner->takeByte();
        if (m_keepEvents)
            m_events.push_back({std::chrono::steady_clock::now(), Direction::Received, byte});
        return byte;
    }
    void writeByte(std::uint8_t byte) override
    {
        if (m_keepEvents)
            m_events.push_back({std::chrono::steady_clock::now(), Direction::Sent, byte});
        m_inner->writeByte(byte);
    }
    void writeBytes(const QByteArray &bytes) override
    {
        if (m_keepEvents) {
            const auto now = std::chrono::steady_clock::now();
            for (const char byte : bytes)
                m_events.push_back({now, Direction::Sent, static_cast<std::uint8_t>(byte)});
        }
        m_inner->writeBytes(bytes);
    }
    bool hasFailed() const override { return m_inner->hasFailed(); }
    QString errorString() const override { return m_inner->errorString(); }

    const std::vector<Event> &events() const { return m_events; }

private:
    std::unique_ptr<ByteDevice> m_inner;
    bool m_keepEvents = true;
    std::vector<Event> m_events;
};
