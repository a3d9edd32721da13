#pragma once

#include "ByteDevice.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

// The serial port control MSComm1: a port number, a settings text and an open
// state in front of a ByteDevice. The number and the settings are kept whether
// the port is open or closed. Input hands over exactly one byte per read, so
// the dialogue can log and compare every byte it receives.
//
// Once the device has failed, reading the buffer count, reading or writing
// throws SerialLinkError: a dead port must never look like a silent line.
class MSComm {
public:
    explicit MSComm(std::unique_ptr<ByteDevice> device);

    int CommPort() const { return m_commPort; }
    // Throws UploaderError (InvalidPropertyValue) while the port is open or
    // for a number below 1.
    void setCommPort(int port);

    // Throws UploaderError (InvalidPropertyValue) for a text that is not of the
    // form "19200,N,8,1"; the settings stay as they were.
    void setSettings(const QString &text);

    bool PortOpen() const;
    // Opening a port that cannot be opened throws SerialLinkError with the
    // device's reason. Setting the state the port already has does nothing.
    void setPortOpen(bool open);

    // 0 while the port is closed.
    int InBufferCount() const;
    // The oldest waiting byte, or nothing when none is waiting.
    QByteArray Input();
    // Throws SerialLinkError while the port is closed.
    void Output(std::uint8_t byte);
    // The bytes in one hand-over to the device; as above.
    void Output(const QByteArray &bytes);

    // Throws SerialLinkError once the open port's device has failed; a
    // closed port never throws.
    void throwIfLineFailed() const;

private:
    void throwIfFailed() const;

    std::unique_ptr<ByteDevice> m_device;
    int m_commPort = 1;
};
