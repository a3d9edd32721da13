#include "CoalescingLink.h"

#include "SerialLog.h"
#include "UploaderError.h"

#include <QScopeGuard>

void CoalescingLink::handOver()
{
    if (m_held.isEmpty())
        return;
    // Emptied however the hand-over ends: on a failed line the bytes are gone,
    // never sent twice. The buffer itself is kept for the next line.
    const auto empty = qScopeGuard([this] { m_held.truncate(0); });
    m_line.SendBytes(m_held);
}

void CoalescingLink::Delay(std::chrono::milliseconds wait)
{
    handOver();
    m_line.Delay(wait);
}

void CoalescingLink::SendByte(std::uint8_t byte)
{
    m_held.append(static_cast<char>(byte));
}

void CoalescingLink::SendBytes(const QByteArray &bytes)
{
    m_held.append(bytes);
}

int CoalescingLink::ReadByte(std::chrono::milliseconds timeout)
{
    handOver();
    return m_line.ReadByte(timeout);
}

void CoalescingLink::FlushInput()
{
    handOver();
    m_line.FlushInput();
}

bool CoalescingLink::OpenPort()
{
    handOver();
    return m_line.OpenPort();
}

bool CoalescingLink::ClosePort()
{
    try {
        handOver();
    } catch (const SerialLinkError &error) {
        qCWarning(lcSerial).noquote() << "bytes not sent before closing:" << error.description();
    }
    return m_line.ClosePort();
}
