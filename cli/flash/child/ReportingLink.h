#pragma once

#include "SerialLink.h"

class ChildReporter;

// The serial link with one thing more told to the parent: whether the port
// opened, for the transcript, since "Communitcations error." alone does not
// say if the port failed to open or the line failed later.
class ReportingLink final : public SerialLink {
public:
    ReportingLink(SerialLink &link, ChildReporter &reporter) : m_link(link), m_reporter(reporter) {}

    void Delay(std::chrono::milliseconds wait) override { m_link.Delay(wait); }
    void SendByte(std::uint8_t byte) override { m_link.SendByte(byte); }
    void SendBytes(const QByteArray &bytes) override { m_link.SendBytes(bytes); }
    int ReadByte(std::chrono::milliseconds timeout) override { return m_link.ReadByte(timeout); }
    void FlushInput() override { m_link.FlushInput(); }
    bool OpenPort() override;
    bool ClosePort() override { return m_link.ClosePort(); }

private:
    SerialLink &m_link;
    ChildReporter &m_reporter;
};
