#pragma once

#include "SimulatedInstrument.h"
#include "SimulatorLog.h"

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <map>

inline QByteArray readWhole(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// veltrax-sim as a process on COM<n> of a bench folder, its log and image kept
// apart: 20 ms erase and start-up, gone after 120 s, unless `options` (later win) say otherwise.
class BenchInstrument {
public:
    BenchInstrument(const ProgramFolder &folder, int commPort, const QStringList &options);
    ~BenchInstrument() { m_process.kill(), m_process.waitForFinished(); }

    QString device() const { return m_device; } // the pseudo-terminal behind COM<n>
    int finish(); // SIGTERM unless it has ended by itself; its exit status
    SimulatorLog log() const { return SimulatorLog(readWhole(m_logPath)); }
    QByteArray image() const { return readWhole(m_imagePath); }

private:
    QProcess m_process;
    QString m_device, m_logPath, m_imagePath;
};

// The transcripts in `folder`, by the port line of each.
std::map<QString, QString> transcriptsByPort(const QString &folder);
