#pragma once

#include "ByteDevice.h"

#include <QSerialPort>
#include <QString>
#include <functional>

// The real line: a QSerialPort found by systemPortName() in the program
// folder, or by another naming of port numbers. No flow control. What is written goes out at
// once, in one write to the device. Bytes and failures arrive through the port's notifiers,
// so they wake a waiting read.
//
// A failure while open (read or write refused, device gone, line hung up)
// makes hasFailed() true and releases the port; the port still counts as open
// until close(), so the waits throw instead of reading an empty line forever.
class QSerialByteDevice : public ByteDevice {
    Q_OBJECT
public:
    // The system name of a port number.
    using PortNaming = std::function<QString(int commPort)>;

    explicit QSerialByteDevice(const QString &programFolder, QObject *parent = nullptr);
    explicit QSerialByteDevice(PortNaming naming, QObject *parent = nullptr);
    ~QSerialByteDevice() override;

    bool open(int commPort) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    // Throws UploaderError (InvalidPropertyValue) when the port refuses them.
    void applySettings(const LineSettings &settings) override;

    int bytesWaiting() const override;
    std::uint8_t takeByte() override;
    void writeByte(std::uint8_t byte) override;
    void writeBytes(const QByteArray &bytes) override;

    bool hasFailed() const override { return m_failed; }
    QString errorString() const override { return m_errorString; }

private:
    bool configurePort();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void releaseFailedPort();

    PortNaming m_naming;
    QSerialPort m_port;
    QString m_location; // the device as named, for messages
    LineSettings m_settings;
    bool m_open = false;
    bool m_failed = false;
    bool m_configuring = false;
    QString m_errorString;
};
