#include "RecordingByteDevice.h"

RecordingByteDevice::RecordingByteDevice(std::unique_ptr<ByteDevice> inner, bool keepEvents)
    : m_inner(std::move(inner)), m_keepEvents(keepEvents)
{
}

bool RecordingByteDevice::open(int commPort)
{
    return m_inner->open(commPort);
}

void RecordingByteDevice::close()
{
    m_inner->close();
}

bool RecordingByteDevice::isOpen() const
{
    return m_inner->isOpen();
}

void RecordingByteDevice::applySettings(const LineSettings &settings)
{
    m_inner->applySettings(settings);
}

int RecordingByteDevice::bytesWaiting() const
{
    return m_inner->bytesWaiting();
}

std::uint8_t RecordingByteDevice::takeByte()
{
    const std::uint8_t byte = m_inner->takeByte();
    if (m_keepEvents)
        m_events.push_back({std::chrono::steady_clock::now(), Direction::Received, byte});
    return byte;
}

void RecordingByteDevice::writeByte(std::uint8_t byte)
{
    // Stamped before the write: the moment the program lets the byte go.
    if (m_keepEvents)
        m_events.push_back({std::chrono::steady_clock::now(), Direction::Sent, byte});
    m_inner->writeByte(byte);
    ++m_bytesSent;
}

bool RecordingByteDevice::hasFailed() const
{
    return m_inner->hasFailed();
}

QString RecordingByteDevice::errorString() const
{
    return m_inner->errorString();
}
