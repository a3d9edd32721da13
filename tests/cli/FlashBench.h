#pragma once

#include "SimulatedInstrument.h"
#include "SimulatorLog.h"

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>

// veltrax-sim as a process on COM<n> of a bench folder (ProgramFolder: the
// firmware files and the COMn links), its traffic log and image kept apart.
// Answers at once (20 ms erase and start-up) and gives up after 120 s, unless
// its options say otherwise (later options win).
class BenchInstrument {
public:
    BenchInstrument(const ProgramFolder &folder, int commPort, const QStringList &options);
    ~BenchInstrument();
    BenchInstrument(const BenchInstrument &) = delete;
    BenchInstrument &operator=(const BenchInstrument &) = delete;

    QString device() const { return m_device; } // the pseudo-terminal behind COM<n>
    // Ends it (SIGTERM unless it has ended by itself) and returns its exit status.
    int finish();
    SimulatorLog log() const;
    QByteArray image() const;

private:
    const ProgramFolder &m_folder;
    const int m_commPort;
    QProcess m_process;
    QString m_device;
};

// veltrax-flash run in a bench folder, standard input a pipe (no terminal).
class FlashRunner {
public:
    FlashRunner(const ProgramFolder &folder, const QStringList &arguments);
    ~FlashRunner();

    // Waits (up to `limitMs`) until the error stream satisfies `ready`.
    bool waitForErrors(const std::function<bool(const QString &)> &ready, int limitMs = 20000);
    void interrupt(); // SIGINT, as Ctrl-C on a terminal sends it
    qint64 pid() const { return m_process.processId(); }
    // Waits for the end; -1 when it did not end within `limitMs` (it is killed).
    int finish(int limitMs = 60000);

    QString errors() const { return m_errors; }
    QByteArray output() const { return m_output; }
    // The --json lines by port; also checks that stdout holds nothing else.
    std::map<QString, QJsonObject> json(QString *problem) const;

private:
    void drain();

    QProcess m_process;
    QString m_errors;
    QByteArray m_output;
};

// The transcripts in `folder`, by the port line of each.
std::map<QString, QString> transcriptsByPort(const QString &folder);
