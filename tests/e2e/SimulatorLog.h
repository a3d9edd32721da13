#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <chrono>
#include <cstdint>
#include <vector>

// veltrax-sim's --log read back: "12.345678 RX 1B", "TX", "-- note".
struct SimulatorLogEntry {
    enum class Kind { Received, Sent, Note };
    std::chrono::microseconds at{0};
    Kind kind = Kind::Note;
    std::uint8_t byte = 0; // RX and TX
    QString note;          // notes
};

class SimulatorLog {
public:
    explicit SimulatorLog(const QByteArray &text)
    {
        static const QRegularExpression form(QStringLiteral("^(\\d+)\\.(\\d{6}) (RX|TX|--) (.+)$"));
        for (const QByteArray &raw : text.split('\n')) {
            const QRegularExpressionMatch line = form.match(QString::fromUtf8(raw.trimmed()));
            const bool note = line.captured(3) == "--";
            bool byteOk = false;
            const uint value = line.captured(4).section(' ', 0, 0).toUInt(&byteOk, 16);
            if (!line.hasMatch() || (!note && (!byteOk || value > 0xFF)))
                continue;
            SimulatorLogEntry entry;
            entry.at = std::chrono::microseconds(line.captured(1).toLongLong() * 1000000 +
                                                 line.captured(2).toLongLong());
            if (note)
                entry.note = line.captured(4);
            else
                entry.kind = line.captured(3) == "RX" ? SimulatorLogEntry::Kind::Received
                                                      : SimulatorLogEntry::Kind::Sent;
            entry.byte = note ? 0 : static_cast<std::uint8_t>(value);
            m_entries.push_back(entry);
        }
    }

    const std::vector<SimulatorLogEntry> &entries() const { return m_entries; }
    QByteArray received() const
    {
        QByteArray bytes;
        for (const SimulatorLogEntry &entry : m_entries) {
            if (entry.kind == SimulatorLogEntry::Kind::Received)
                bytes.append(static_cast<char>(entry.byte));
        }
        return bytes;
    }
    // The first note containing the text, or -1.
    int noteIndex(const QString &containing) const
    {
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].kind == SimulatorLogEntry::Kind::Note &&
                m_entries[i].note.contains(containing))
                return static_cast<int>(i);
        }
        return -1;
    }

private:
    std::vector<SimulatorLogEntry> m_entries;
};
