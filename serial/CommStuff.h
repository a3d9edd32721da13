#pragma once

#include "ByteDevice.h"
#include "SerialLink.h"

#include <QString>
#include <functional>
#include <memory>

class MessageBoxService;
class frmHidden;

// The serial link: the only code that touches the serial line or measures
// time. It owns the three wait flags; the hidden form frmHidden owns the port
// control MSComm1 and the one-shot timers, and is created the first time any
// procedure here needs one of them.
//
// The port is closed except during an update and during the trial open of a
// newly picked port.
class CommStuff : public SerialLink {
public:
    using DeviceFactory = std::function<std::unique_ptr<ByteDevice>()>;

    CommStuff(MessageBoxService &messages, DeviceFactory makeDevice);
    ~CommStuff() override;

    CommStuff(const CommStuff &) = delete;
    CommStuff &operator=(const CommStuff &) = delete;

    void Delay(std::chrono::milliseconds wait) override;
    void SetBaudRate(int baud);
    void SendByte(std::uint8_t byte) override;
    void SendBytes(const QByteArray &bytes) override;
    int ReadByte(std::chrono::milliseconds timeout) override;
    void FlushInput() override;
    // The caller passes its own port number; it is never changed here.
    bool SelectComPort(const int &port);
    bool OpenPort() override;
    bool ClosePort() override;

    // The hidden form, created on first use.
    frmHidden &hidden();

    // How "Could not open" names the port: by default "Com" and its number,
    // as the window's box has it; the command line names a device path as
    // it was given.
    void namePortInMessages(const QString &name) { m_portNameInMessages = name; }

    // The three module flags, read by the waits and set by the timer events.
    bool DelayActive = false;
    bool PortSettled = false;
    bool TimeoutExpired = false;

private:
    MessageBoxService &m_messages;
    DeviceFactory m_makeDevice;
    QString m_portNameInMessages;
    std::unique_ptr<frmHidden> m_hidden;
};
