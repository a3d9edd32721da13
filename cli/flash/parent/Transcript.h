#pragma once

#include <QFile>
#include <QString>
#include <memory>

struct ChildEvent;

// One update's record for the quality file: a header (start, port, device,
// firmware with its size and SHA-256), then every status line, received
// byte, message and Stop with its time, then the end (Stop pressed or not,
// lines sent, the last status, the result). Written as it happens, so a
// record cut short still holds everything up to the cut.
class Transcript {
public:
    struct Header {
        QString port, device, firmwareName, firmwarePath, sha256;
        qint64 firmwareBytes = 0;
        int timeoutSeconds = 0;
        QString answer; // how the update question was answered
    };
    struct Footer {
        bool stopPressed = false;
        QString stopDetail; // when and why
        qint64 linesSent = 0;
        QString status;
        int exitCode = 0;
        QString ending;     // what ended it, from the table of endings
        QString instrument; // "unchanged", "erased" or "updated"
        double seconds = 0;
        qint64 processorMs = -1; // the update process's own, when it told it
    };

    // A new file in `folder`, named after the time and the port; empty, with
    // `error` set, when it cannot be made.
    static std::unique_ptr<Transcript> create(const QString &folder, const QString &port,
                                              QString *error);

    // The record that `create` began, to go on with from another process:
    // the update process writes its own ending when veltrax-flash is gone.
    static std::unique_ptr<Transcript> reopen(const QString &path, QString *error);

    QString path() const { return m_file.fileName(); }
    void writeHeader(const Header &header);
    void writeEvent(const ChildEvent &event);
    // A note of veltrax-flash's own (a process that crashed, a hard kill).
    void writeNote(const QString &kind, const QString &text);
    void writeFooter(const Footer &footer);

private:
    explicit Transcript(const QString &path) : m_file(path) {}
    void row(qint64 at, const QString &kind, const QString &text);
    void line(const QString &text);

    QFile m_file;
};
