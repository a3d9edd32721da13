#include "SimulatorLog.h"

#include <QRegularExpression>

SimulatorLog::SimulatorLog(const QByteArray &text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d+)\\.(\\d{6}) (RX|TX|--) (.+)$"));
    for (const QByteArray &raw : text.split('\n')) {
        const QRegularExpressionMatch line = form.match(QString::fromUtf8(raw.trimmed()));
        bool byteOk = false;
        const uint value = line.captured(4).section(' ', 0, 0).toUInt(&byteOk, 16);
        if (!line.hasMatch() || (line.captured(3) != "--" && (!byteOk || value > 0xFF)))
            continue;
        SimulatorLogEntry entry;
        entry.at = std::chrono::microseconds(line.captured(1).toLongLong() * 1000000 +
                                             line.captured(2).toLongLong());
        if (line.captured(3) == "--")
            entry.note = line.captured(4);
        else
            entry.kind = line.captured(3) == "RX" ? SimulatorLogEntry::Kind::Received
                                                  : SimulatorLogEntry::Kind::Sent;
        entry.byte = entry.note.isNull() ? static_cast<std::uint8_t>(value) : 0;
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
