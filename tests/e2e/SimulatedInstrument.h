#pragma once

#include "SimulatorLog.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A program folder as the uploader finds its own: hexcfg.dat, firmware files
// written by veltrax-hexgen, and the COM1 link that the simulator makes. What
// is left for the checks (the traffic log, the assembled image, the raw
// images) goes to a scratch folder beside it, so the program folder holds only
// what the program looks at. A failure to set it up throws std::runtime_error.
class ProgramFolder {
public:
    // With hexcfg.dat "COM=1", "DBG=1": port COM1, Debug view on.
    ProgramFolder();
    explicit ProgramFolder(const QByteArray &preferences);

    QString path() const { return m_folder.path(); }
    QString filePath(const QString &name) const { return m_folder.filePath(name); }
    QString scratchPath(const QString &name) const { return m_scratch.filePath(name); }

    void writeFile(const QString &name, const QByteArray &contents) const;
    // Empty when the file is missing.
    QByteArray readFile(const QString &name) const;
    // Writes veltrax_<date>.hex (MMDDYYYY) of an image of `size` bytes ("8K"
    // and the like) drawn from `seed`; returns the image itself.
    QByteArray generateFirmware(const QString &date, const QString &size, int seed = 1) const;

private:
    QTemporaryDir m_folder;
    QTemporaryDir m_scratch;
};

// veltrax-sim as a child process on the folder's COM1, its traffic log and
// image in the folder's scratch place. It answers at once, with a 20 ms erase
// and start-up, unless the options say otherwise (later options win).
class SimulatedInstrument {
public:
    struct Verdict {
        int exitCode = -1; // -1: it did not end normally
        QString output;    // what it printed, its verdict line among it
    };

    // Returns once the simulator has printed its ready line: the link exists.
    SimulatedInstrument(const ProgramFolder &folder, const QStringList &options);
    ~SimulatedInstrument()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    SimulatedInstrument(const SimulatedInstrument &) = delete;
    SimulatedInstrument &operator=(const SimulatedInstrument &) = delete;

    // Ends the run (SIGTERM unless it has ended by itself) and collects what
    // it concluded. Call once the program has stopped talking.
    Verdict finish();
    SimulatorLog log() const;
    // The image assembled from the records received (after finish()).
    QByteArray image() const;

private:
    const ProgramFolder &m_folder;
    QProcess m_process;
    QString m_output;
};
