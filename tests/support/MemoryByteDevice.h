#pragma once

#include "ByteDevice.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QStringList>

// An in-memory serial device for tests: every port opens unless refused with
// setOpenable(), bytes arrive with feed(), failures with injectFailure(), and
// everything done to the device is recorded.
//
// history() lists, in order, "open 3", "open 5 refused", "close 3" and
// "settings 19200,N,8,1". Bytes fed while the port is closed wait for the next
// open; close() discards what is waiting, as a real port does.
//
// feed() and injectFailure() take effect at once and also post an event, so a
// read waiting in the event loop wakes up.
class MemoryByteDevice : public ByteDevice {
    Q_OBJECT
public:
    explicit MemoryByteDevice(QObject *parent = nullptr);

    bool open(int commPort) override;
    void close() override;
    bool isOpen() const override { return m_openPort != 0; }
    void applySettings(const LineSettings &settings) override;
    int bytesWaiting() const override { return m_received.size(); }
    std::uint8_t takeByte() override;
    void writeByte(std::uint8_t byte) override;
    bool hasFailed() const override { return m_failed; }
    QString errorString() const override { return m_errorString; }

    void setOpenable(int commPort, bool openable);
    void feed(const QByteArray &bytes);
    void injectFailure(const QString &reason = QStringLiteral("device unplugged"));

    const QStringList &history() const { return m_history; }
    // Every port number open() was asked for, refused ones included.
    const QList<int> &portsTried() const { return m_portsTried; }
    const QByteArray &written() const { return m_written; }
    const LineSettings &settings() const { return m_settings; }
    const QByteArray &waiting() const { return m_received; }

private:
    void wakeWaiters();

    QSet<int> m_refusedPorts;
    int m_openPort = 0;
    bool m_failed = false;
    QString m_errorString;
    QByteArray m_received;
    QByteArray m_written;
    LineSettings m_settings;
    QStringList m_history;
    QList<int> m_portsTried;
};
