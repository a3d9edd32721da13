#pragma once

#include "SerialLink.h"

#include <QByteArray>

// A serial link that holds the bytes sent between two waits and hands them to
// the line in one SendBytes: when the next wait, read, flush, open or close
// begins, or when handOver() is called. Nothing else happens on the line in
// between, so every byte still leaves before the wait, read or flush that
// followed it, in order and back to back; one write a line instead of one a
// byte spares the processor a system call and a wake-up of the line's driver
// for every byte.
//
// Whoever sends calls handOver() before anything but this link decides what
// happens next (a look at Stop), so that the bytes are out before it.
class CoalescingLink final : public SerialLink {
public:
    explicit CoalescingLink(SerialLink &line) : m_line(line) {}

    void Delay(std::chrono::milliseconds wait) override;
    void SendByte(std::uint8_t byte) override;
    void SendBytes(const QByteArray &bytes) override;
    int ReadByte(std::chrono::milliseconds timeout) override;
    void FlushInput() override;
    bool OpenPort() override;
    // The held bytes still go out first; a line that fails on them is closed
    // all the same, with a warning, since closing never throws.
    bool ClosePort() override;

    // Passes the held bytes on; SerialLinkError when the line has failed.
    void handOver();

private:
    SerialLink &m_line;
    QByteArray m_held;
};
