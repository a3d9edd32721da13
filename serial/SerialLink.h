#pragma once

#include <QByteArray>
#include <chrono>
#include <cstdint>

// What the dialogue with the instrument needs of the serial line, and nothing
// more. CommStuff is the real line; protocol tests use a scripted instrument
// with a virtual clock.
//
// Every wait keeps the window live: events (a click on Stop, closing the
// window) run inside Delay, ReadByte and OpenPort. A device failure is thrown
// as SerialLinkError, never turned into an endless stream of empty reads.
class SerialLink {
public:
    // The instrument's line needs this long after the port opens before the
    // first byte is worth sending.
    static constexpr std::chrono::milliseconds PortSettle{200};

    virtual ~SerialLink() = default;

    // Returns once the time has passed; window events are processed meanwhile.
    // A device failure meanwhile throws at once.
    virtual void Delay(std::chrono::milliseconds wait) = 0;

    // Does nothing when the port is closed.
    virtual void SendByte(std::uint8_t byte) = 0;

    // The bytes back to back, in order: as one write where the line can take
    // it, byte by byte here. Does nothing when the port is closed. A link that
    // wraps another must pass this on, or its bytes go out one write each.
    virtual void SendBytes(const QByteArray &bytes)
    {
        for (const char byte : bytes)
            SendByte(static_cast<std::uint8_t>(byte));
    }

    // A byte already waiting is returned at once; otherwise the first byte to
    // arrive, or -1 once the time-out has passed. -1 at once when the port is
    // closed. When the time-out and a byte land together, -1 wins and the byte
    // stays for the next call.
    virtual int ReadByte(std::chrono::milliseconds timeout) = 0;

    // Processes pending events once, then discards everything received.
    virtual void FlushInput() = 0;

    // Opens the port (if closed) and waits PortSettle for it to settle. False after
    // telling the operator "Could not open Com" and the port number.
    virtual bool OpenPort() = 0;

    // Closes the port if open. False when closing failed; never a message.
    virtual bool ClosePort() = 0;
};
