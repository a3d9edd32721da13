#include "MSComm.h"

#include "LineSettingsText.h"
#include "UploaderError.h"

#include <stdexcept>

MSComm::MSComm(std::unique_ptr<ByteDevice> device) : m_device(std::move(device))
{
    if (!m_device)
        throw std::invalid_argument("MSComm needs a device");
    m_device->applySettings(LineSettings{}); // design-time: 9600,N,8,1
}

void MSComm::setCommPort(int port)
{
    if (PortOpen())
        throw UploaderError(
            ErrorCode::InvalidPropertyValue,
            QStringLiteral("Com%1 is open; close it before choosing another port").arg(m_commPort));
    if (port < 1)
        throw UploaderError(ErrorCode::InvalidPropertyValue,
                            QStringLiteral("No port Com%1").arg(port));
    m_commPort = port;
}

void MSComm::setSettings(const QString &text)
{
    const std::optional<LineSettings> settings = parseSettingsText(text);
    if (!settings)
        throw UploaderError(ErrorCode::InvalidPropertyValue,
                            QStringLiteral("Invalid line settings \"%1\"").arg(text));
    m_device->applySettings(*settings);
}

bool MSComm::PortOpen() const
{
    return m_device->isOpen();
}

void MSComm::setPortOpen(bool open)
{
    if (open == PortOpen())
        return;
    if (!open) {
        m_device->close();
        return;
    }
    if (!m_device->open(m_commPort))
        throw SerialLinkError(ErrorCode::DeviceIoError,
                              QStringLiteral("cannot open %1").arg(m_device->errorString()));
}

int MSComm::InBufferCount() const
{
    if (!PortOpen())
        return 0;
    throwIfFailed();
    return m_device->bytesWaiting();
}

QByteArray MSComm::Input()
{
    if (InBufferCount() == 0)
        return {};
    return QByteArray(1, static_cast<char>(m_device->takeByte()));
}

void MSComm::Output(std::uint8_t byte)
{
    Output(QByteArray(1, static_cast<char>(byte)));
}

void MSComm::Output(const QByteArray &bytes)
{
    if (!PortOpen())
        throw SerialLinkError(ErrorCode::DeviceIoError,
                              QStringLiteral("Com%1 is not open").arg(m_commPort));
    throwIfFailed();
    m_device->writeBytes(bytes);
    throwIfFailed();
}

void MSComm::throwIfLineFailed() const
{
    if (PortOpen())
        throwIfFailed();
}

void MSComm::throwIfFailed() const
{
    if (m_device->hasFailed())
        throw SerialLinkError(
            ErrorCode::DeviceIoError,
            QStringLiteral("Com%1 failed: %2").arg(m_commPort).arg(m_device->errorString()));
}
