#include "ConsoleWindow.h"

#include "ChildReporter.h"

#include <QCoreApplication>

ConsoleWindow::ConsoleWindow(ChildReporter &reporter, QString firmwarePath, qint64 linesInFile)
    : m_reporter(reporter), m_firmwarePath(std::move(firmwarePath)), m_linesInFile(linesInFile)
{
}

void ConsoleWindow::setStatus(const QString &text)
{
    // The transfer sets "Sending file..." once per line; the line shows no change.
    if (m_statusShown && text == m_status)
        return;
    m_status = text;
    m_statusShown = true;
    m_reporter.report(ChildEvent::Kind::Status, text);
}

void ConsoleWindow::appendLog(const QString &entry)
{
    m_reporter.received(entry);
}

void ConsoleWindow::setSentLine(const QString &)
{
    // Every line shown once the progress range is set is a line going out.
    if (!m_transferring)
        return;
    ++m_linesSent;
    reportProgress();
}

void ConsoleWindow::setProgressRange(double, double maximum)
{
    m_maximum = maximum;
    m_transferring = true;
    reportProgress();
}

void ConsoleWindow::setProgressValue(double value)
{
    m_value = value;
    if (m_transferring)
        reportProgress();
}

void ConsoleWindow::processEvents()
{
    QCoreApplication::processEvents();
}

void ConsoleWindow::setKeepRunning(bool value)
{
    const bool overridden = value && !m_keepRunning && m_stopPressed;
    m_keepRunning = value;
    if (!value)
        m_stopPressed = true;
    if (overridden && m_overridden)
        m_overridden();
}

void ConsoleWindow::reachStage(UpdateStage stage)
{
    m_stage = stage;
    m_reporter.report(ChildEvent::Kind::Stage, stageName(stage));
}

void ConsoleWindow::reportProgress()
{
    m_reporter.progress(m_value, m_maximum, m_linesSent, m_linesInFile);
}
