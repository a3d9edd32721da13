#include "SimulatorLog.h"

#include <QList>

SimulatorLog::SimulatorLog(const QByteArray &text)
{
    for (const QByteArray &raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        const qsizetype firstBlank = line.indexOf(' ');
        if (firstBlank < 0 || line.size() < firstBlank + 4)
            continue;
        const QList<QByteArray> stamp = line.left(firstBlank).split('.');
        bool secondsOk = false, microsOk = false;
        if (stamp.size() != 2 || stamp[1].size() != 6)
            continue;
        const long long seconds = stamp[0].toLongLong(&secondsOk);
        const long long micros = stamp[1].toLongLong(&microsOk);
        if (!secondsOk || !microsOk)
            continue;

        SimulatorLogEntry entry;
        entry.at = std::chrono::microseconds(seconds * 1000000 + micros);
        const QByteArray kind = line.mid(firstBlank + 1, 2);
        const QByteArray rest = line.mid(firstBlank + 4);
        if (kind == "--") {
            entry.note = QString::fromUtf8(rest);
        } else if (kind == "RX" || kind == "TX") {
            bool byteOk = false;
            const uint value = rest.left(2).toUInt(&byteOk, 16);
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
    return receivedAfter(-1);
}

QByteArray SimulatorLog::receivedAfter(int from) const
{
    QByteArray bytes;
    for (std::size_t i = static_cast<std::size_t>(std::max(from + 1, 0)); i < m_entries.size();
         ++i) {
        if (m_entries[i].kind == SimulatorLogEntry::Kind::Received)
            bytes.append(static_cast<char>(m_entries[i].byte));
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

int SimulatorLog::noteCount(const QString &containing) const
{
    int count = 0;
    for (const SimulatorLogEntry &entry : m_entries)
        count += entry.kind == SimulatorLogEntry::Kind::Note && entry.note.contains(containing);
    return count;
}
