#pragma once

#include "SimulatedInstrument.h"
#include "UploaderWindow.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPushButton>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

inline const QString UpdateQuestion =
    QStringLiteral("Update Veltrax?  This will also reset all parameters "
                   "under the PROGRAM menu (E1) to factory defaults.");

// The program's window on a program folder (hexcfg.dat COM=1, DBG=1) with
// veltrax-sim, unpaced, on its COM1.
class FileFaultFixture : public ::testing::Test {
protected:
    void startInstrument(const QStringList &options = {})
    {
        instrument =
            std::make_unique<SimulatedInstrument>(folder, QStringList{"--no-pacing"} + options);
    }
    // Start-up as the program does it; returns how long it took.
    qint64 startWindow(bool keepLineEvents = true)
    {
        QElapsedTimer clock;
        clock.start();
        window = std::make_unique<UploaderWindow>(
            folder.path(), messages, [this] { ++ends; }, keepLineEvents);
        window->start();
        return clock.elapsed();
    }
    void start(const QStringList &options = {})
    {
        startInstrument(options);
        startWindow();
    }

    void expectIdle() const { window->expectIdle(); }

    ProgramFolder folder;
    AnsweringMessageBox messages;
    int ends = 0;
    std::unique_ptr<SimulatedInstrument> instrument;
    std::unique_ptr<UploaderWindow> window;
};
