#pragma once

#include "ByteDevice.h"
#include "LineSettingsText.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QStringList>

// An in-memory serial device: ports open unless refused, bytes arrive with
// feed(), and history() keeps what was done ("open 5 refused", "close 3").
// close() discards what was fed, as a real port does.
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
    void writeByte(std::uint8_t) override {}
    bool hasFailed() const override { return false; }
    QString errorString() const override { return {}; }

    void setOpenable(int commPort, bool openable)
    {
        openable ? void(m_refusedPorts.remove(commPort)) : void(m_refusedPorts.insert(commPort));
    }
    // Posts an event too: a waiting read looks again only after one.
    void feed(const QByteArray &bytes)
    {
        m_received.append(bytes);
        QMetaObject::invokeMethod(
            this, [] {}, Qt::QueuedConnection);
    }

    const QStringList &history() const { return m_history; }
    const QList<int> &portsTried() const { return m_portsTried; }
    const LineSettings &settings() const { return m_settings; }
    const QByteArray &waiting() const { return m_received; }

private:
    QSet<int> m_refusedPorts;
    int m_openPort = 0;
    QByteArray m_received;
    LineSettings m_settings;
    QStringList m_history;
    QList<int> m_portsTried;
};
