#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>

// Line settings as the "19200,N,8,1" settings text describes them.
struct LineSettings {
    int baud = 9600;
    char parity = 'N'; // 'N', 'E' or 'O'
    int dataBits = 8;
    int stopBits = 1;

    bool operator==(const LineSettings &other) const
    {
        return baud == other.baud && parity == other.parity && dataBits == other.dataBits &&
               stopBits == other.stopBits;
    }
};

// The raw serial device behind the port control MSComm1: a port number to
// open, one byte in, one byte out. QSerialPort serves the real line, an
// in-memory device the tests.
//
// Data and failures must reach the waits through Qt's event loop: a waiting
// ReadByte sleeps in QCoreApplication::processEvents(WaitForMoreEvents) and
// wakes on any event, so a device posts (or has Qt post) an event when bytes
// arrive or when it fails.
class ByteDevice : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ByteDevice() override = default;

    // False when the port cannot be opened; errorString() says why.
    virtual bool open(int commPort) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual void applySettings(const LineSettings &settings) = 0;

    virtual int bytesWaiting() const = 0;
    // Takes exactly one waiting byte; the rest stay. Precondition: bytesWaiting() > 0.
    virtual std::uint8_t takeByte() = 0;
    virtual void writeByte(std::uint8_t byte) = 0;
    // The bytes back to back, in order; a device that can hand them to the
    // line in one write does so.
    virtual void writeBytes(const QByteArray &bytes)
    {
        for (const char byte : bytes)
            writeByte(static_cast<std::uint8_t>(byte));
    }

    // True once the open device has reported a read or write failure (the
    // adapter pulled, the pseudo-terminal hung up). Cleared by open().
    virtual bool hasFailed() const = 0;
    virtual QString errorString() const = 0;
};
