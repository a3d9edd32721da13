#pragma once

#include "SimulatedInstrument.h"
#include "SimulatorLog.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <map>

// veltrax-sim as a process on COM<n> of a bench folder (ProgramFolder: the
// firmware files and the COMn links), its traffic log and image kept apart.
// Answers at once (20 ms erase and start-up) and gives up after 120 s, unless
// its options say otherwise (later options win).
class BenchInstrument {
public:
    BenchInstrument(const ProgramFolder &folder, int commPort, const QStringList &options);
    ~BenchInstrument();

    QString device() const { return m_device; } // the pseudo-terminal behind COM<n>
    // Ends it (SIGTERM unless it has ended by itself) and returns its exit status.
    int finish();
    SimulatorLog log() const;
    QByteArray image() const;

private:
    QProcess m_process;
    QString m_device, m_logPath, m_imagePath;
};

// The transcripts in `folder`, by the port line of each.
std::map<QString, QString> transcriptsByPort(const QString &folder);
