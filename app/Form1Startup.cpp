// Start-up with the remembered preferences, and shutdown.
#include "Form1.h"

#include "FileSystem.h"
#include "FirmwareDiscovery.h"
#include "MessageBoxService.h"
#include "Preferences.h"
#include "UploaderError.h"
#include "WireProtocol.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>

namespace {

const QString NoFirmware = QStringLiteral("No Firmware Found");

} // namespace

void Form1::Form_Load()
{
    centreOnScreen();
    try {
        releaseAllHolds();
        lblComStatus->clear();

        const StoredPreferences stored = readPreferences(FileSystem, m_programFolder);
        ComPortNumber = stored.comPort;
        if (stored.debugOff) {
            mDebugChoice(1)->setChecked(*stored.debugOff);
            mDebugChoice(2)->setChecked(!*stored.debugOff);
        }

        mCOM(ComPortNumber)->setChecked(true);
        mCOM_Click(ComPortNumber);
        m_comm.SetBaudRate(Wire::LineSpeed);
        ApplyDebugView();
        FindFirmware();

        if (FirmwareFound) {
            lblFileName->setText(FirmwareFileName);
            setStatus(QStringLiteral("Valid file selected."));
            btnSend->setEnabled(true);
        } else {
            lblFileName->setText(NoFirmware);
            setStatus(NoFirmware);
            btnSend->setEnabled(false);
        }
    } catch (const UploaderError &failure) {
        startupFallback(failure);
    }
}

void Form1::startupFallback(const UploaderError &failure)
{
    m_messages.showOk(QStringLiteral("Prefs Error: ") + QString::number(failure.code()) +
                      QLatin1Char(' ') + failure.description());
    ComPortNumber = 1;
    m_comm.SetBaudRate(Wire::LineSpeed);
    // COM1 is not tried here; a port checked before the failure keeps its mark.
    mCOM(1)->setChecked(true);
    mDebugChoice(1)->setChecked(true);
    mDebugChoice(2)->setChecked(false);
    ApplyDebugView();
    // Send File stays off for the whole run, even with a firmware file present.
    lblFileName->setText(NoFirmware);
    setStatus(NoFirmware);
    btnSend->setEnabled(false);
}

void Form1::FindFirmware()
{
    FirmwareFound = false;
    const std::unique_ptr<::FileSystem> files = m_makeSearchFileSystem();
    const FirmwareSearch found = searchFirmware(*files, m_programFolder);
    if (found.FirmwareFound) {
        FirmwareFileName = found.FirmwareFileName;
        FirmwareFound = true;
    }
}

void Form1::Form_Unload()
{
    try {
        writePreferences(FileSystem, m_programFolder, ComPortNumber, mDebugChoice(1)->isChecked());
    } catch (const UploaderError &) {
        m_messages.showOk(QStringLiteral("Error creating prefs file!"));
    }
    // At once, also in the middle of an update: nothing more is sent, and the
    // port goes with the process.
    m_endProgram();
}
