#pragma once

#include "ByteDevice.h"
#include "LineSettingsText.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QStringList>

// An in-memory serial device: every port opens unless refused with
// setOpenable(), bytes arrive with feed(), and everything done to it is kept in
// history() ("open 3", "open 5 refused", "close 3", "settings 19200,N,8,1").
// Bytes fed while the port is closed wait for the next open; close() discards
// them, as a real port does.
class MemoryByteDevice : public ByteDevice {
    Q_OBJECT
public:
    using ByteDevice::ByteDevice;

    bool open(int commPort) override
    {
        m_portsTried.append(commPort);
        const bool refused = m_refusedPorts.contains(commPort);
        m_history.append(QStringLiteral("open %1%2").arg(commPort).arg(refused ? " refused" : ""));
        m_openPort = refused ? m_openPort : commPort;
        return !refused;
    }
    void close() override
    {
        if (m_openPort == 0)
            return;
        m_history.append(QStringLiteral("close %1").arg(std::exchange(m_openPort, 0)));
        m_received.clear();
    }
    bool isOpen() const override { return m_openPort != 0; }
    void applySettings(const LineSettings &settings) override
    {
        m_settings = settings;
        m_history.append(QStringLiteral("settings ") + settingsText(settings));
    }
    int bytesWaiting() const override { return m_received.size(); }
    std::uint8_t takeByte() override
    {
        const auto byte = static_cast<std::uint8_t>(m_received.at(0));
        m_received.remove(0, 1);
        return byte;
    }
    void writeByte(std::uint8_t byte) override
    {
        if (m_openPort != 0)
            m_written.append(static_cast<char>(byte));
    }
    bool hasFailed() const override { return false; }
    QString errorString() const override { return {}; }

    void setOpenable(int commPort, bool openable)
    {
        openable ? void(m_refusedPorts.remove(commPort)) : void(m_refusedPorts.insert(commPort));
    }
    // Also posts an event: a read waiting in the event loop looks at the
    // buffer again only after the loop has handled one.
    void feed(const QByteArray &bytes)
    {
        m_received.append(bytes);
        QMetaObject::invokeMethod(
            this, [] {}, Qt::QueuedConnection);
    }

    const QStringList &history() const { return m_history; }
    // Every port number open() was asked for, refused ones included.
    const QList<int> &portsTried() const { return m_portsTried; }
    const QByteArray &written() const { return m_written; }
    const LineSettings &settings() const { return m_settings; }
    const QByteArray &waiting() const { return m_received; }

private:
    QSet<int> m_refusedPorts;
    int m_openPort = 0;
    QByteArray m_received, m_written;
    LineSettings m_settings;
    QStringList m_history;
    QList<int> m_portsTried;
};
