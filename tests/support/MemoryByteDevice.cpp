#include "MemoryByteDevice.h"

#include "LineSettingsText.h"

MemoryByteDevice::MemoryByteDevice(QObject *parent) : ByteDevice(parent) {}

bool MemoryByteDevice::open(int commPort)
{
    m_portsTried.append(commPort);
    if (m_refusedPorts.contains(commPort)) {
        m_history.append(QStringLiteral("open %1 refused").arg(commPort));
        m_errorString = QStringLiteral("COM%1 refused by the test").arg(commPort);
        return false;
    }
    m_history.append(QStringLiteral("open %1").arg(commPort));
    m_openPort = commPort;
    m_failed = false;
    m_errorString.clear();
    return true;
}

void MemoryByteDevice::close()
{
    if (m_openPort == 0)
        return;
    m_history.append(QStringLiteral("close %1").arg(m_openPort));
    m_openPort = 0;
    m_received.clear();
}

void MemoryByteDevice::applySettings(const LineSettings &settings)
{
    m_settings = settings;
    m_history.append(QStringLiteral("settings ") + settingsText(settings));
}

std::uint8_t MemoryByteDevice::takeByte()
{
    Q_ASSERT(!m_received.isEmpty());
    const auto byte = static_cast<std::uint8_t>(m_received.at(0));
    m_received.remove(0, 1);
    return byte;
}

void MemoryByteDevice::writeByte(std::uint8_t byte)
{
    if (m_openPort == 0)
        return;
    m_written.append(static_cast<char>(byte));
}

void MemoryByteDevice::setOpenable(int commPort, bool openable)
{
    if (openable)
        m_refusedPorts.remove(commPort);
    else
        m_refusedPorts.insert(commPort);
}

void MemoryByteDevice::feed(const QByteArray &bytes)
{
    m_received.append(bytes);
    wakeWaiters();
}

void MemoryByteDevice::injectFailure(const QString &reason)
{
    m_failed = true;
    m_errorString = reason;
    wakeWaiters();
}

void MemoryByteDevice::wakeWaiters()
{
    // A waiting read looks at the buffer again only after the event loop has
    // handled an event; this one makes sure there is one, whoever fed.
    QMetaObject::invokeMethod(
        this, [] {}, Qt::QueuedConnection);
}
