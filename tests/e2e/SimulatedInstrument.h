#pragma once

#include "SimulatorLog.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A program folder (hexcfg.dat, firmware files, the simulator's COM1 link) and
// a scratch folder beside it for what the checks read. Failures throw.
class ProgramFolder {
public:
    explicit ProgramFolder(const QByteArray &preferences = "COM=1\r\nDBG=1\r\n");

    QString path() const { return m_folder.path(); }
    QString filePath(const QString &name) const { return m_folder.filePath(name); }
    QString scratchPath(const QString &name) const { return m_scratch.filePath(name); }

    void writeFile(const QString &name, const QByteArray &contents) const;
    QByteArray readFile(const QString &name) const;
    // Writes veltrax_<MMDDYYYY>.hex of `size` ("8K") bytes; returns the image.
    QByteArray generateFirmware(const QString &date, const QString &size, int seed = 1) const;

private:
    QTemporaryDir m_folder;
    QTemporaryDir m_scratch;
};

// veltrax-sim as a child process on the folder's COM1; later options win.
class SimulatedInstrument {
public:
    struct Verdict {
        int exitCode = -1; // -1: it did not end normally
        QString output;    // what it printed, its verdict line among it
    };

    SimulatedInstrument(const ProgramFolder &folder, const QStringList &options);
    ~SimulatedInstrument()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    SimulatedInstrument(const SimulatedInstrument &) = delete;
    SimulatedInstrument &operator=(const SimulatedInstrument &) = delete;

    // Ends the run (SIGTERM unless ended) and collects its verdict.
    Verdict finish();
    SimulatorLog log() const;
    QByteArray image() const;

private:
    const ProgramFolder &m_folder;
    QProcess m_process;
    QString m_output;
};
