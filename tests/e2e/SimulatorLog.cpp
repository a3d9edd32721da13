#include "SimulatorLog.h"

#include <QList>

SimulatorLog::SimulatorLog(const QByteArray &text)
{
    for (const QByteArray &raw : text.split('\n')) {
        // "<seconds>.<6 digits> <kind> <rest>"
        const QList<QByteArray> parts = raw.trimmed().split(' ');
        const QList<QByteArray> stamp = parts.value(0).split('.');
        bool secondsOk = false, microsOk = false, byteOk = false;
        const long long seconds = stamp.value(0).toLongLong(&secondsOk);
        const long long micros = stamp.value(1).toLongLong(&microsOk);
        if (parts.size() < 3 || stamp.size() != 2 || stamp[1].size() != 6 || !secondsOk ||
            !microsOk)
            continue;
        SimulatorLogEntry entry;
        entry.at = std::chrono::microseconds(seconds * 1000000 + micros);
        const QByteArray &kind = parts[1];
        if (kind == "--") {
            entry.note = QString::fromUtf8(raw.trimmed().mid(parts[0].size() + 4));
        } else if (kind == "RX" || kind == "TX") {
            const uint value = parts[2].toUInt(&byteOk, 16);
            if (!byteOk || value > 0xFF)
                continue;
            entry.kind =
                kind == "RX" ? SimulatorLogEntry::Kind::Received : SimulatorLogEntry::Kind::Sent;
            entry.byte = static_cast<std::uint8_t>(value);
        } else {
            continue;
        }
        m_entries.push_back(entry);
    }
}

QByteArray SimulatorLog::received() const
{
    QByteArray bytes;
    for (const SimulatorLogEntry &entry : m_entries) {
        if (entry.kind == SimulatorLogEntry::Kind::Received)
            bytes.append(static_cast<char>(entry.byte));
    }
    return bytes;
}

int SimulatorLog::noteIndex(const QString &containing) const
{
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].kind == SimulatorLogEntry::Kind::Note &&
            m_entries[i].note.contains(containing))
            return static_cast<int>(i);
    }
    return -1;
}
