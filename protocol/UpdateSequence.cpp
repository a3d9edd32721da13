// The update behind "Send File", and "Stop".
#include "FirmwareUpdater.h"

#include "MessageBoxService.h"
#include "SerialLink.h"
#include "StatusTexts.h"
#include "UpdateQuestion.h"
#include "UploaderError.h"
#include "WindowOperations.h"
#include "WireProtocol.h"

#include <QtGlobal>

FirmwareUpdater::FirmwareUpdater(SerialLink &link, WindowOperations &window,
                                 MessageBoxService &messages, FirmwareSource &files)
    : m_link(link), m_window(window), m_messages(messages), m_files(files)
{
}

void FirmwareUpdater::btnSend_Click()
{
    m_window.DisableControls();
    m_window.showStopButton(true);
    if (m_messages.askYesNo(UpdateQuestion)) {
        try {
            if (!m_link.OpenPort()) {
                // OpenPort has named the port already; there is nothing to close.
                m_window.showStopButton(false);
                m_window.ApplyDebugView();
                m_window.setStatus(QStringLiteral("Communitcations error."));
                m_window.RestoreControls();
                return;
            }
            runUpdate();
        } catch (const SerialLinkError &error) {
            // The adapter was pulled or the port vanished: the instrument is out
            // of reach, so the update ends here like any other failed step.
            qWarning("Serial link failed during the update: %s (%d)",
                     qUtf8Printable(error.description()), error.code());
            m_window.setStatus(QStringLiteral("Communitcations error."));
        }
    }
    m_link.ClosePort();
    m_window.showStopButton(false);
    m_window.ApplyDebugView();
    m_window.RestoreControls();
}

void FirmwareUpdater::runUpdate()
{
    if (!SendFirmwareFile())
        return;
    m_window.setStatus(QStringLiteral("Resetting Defaults"));
    m_link.Delay(Wire::ResetPause);
    if (!WaitForResetAck()) {
        m_window.setStatus(QLatin1String(Status::ResetFailed));
        return;
    }
    m_window.reachStage(UpdateStage::Rebooting);
    m_window.setStatus(QStringLiteral("Rebooting Veltrax"));
    m_link.Delay(Wire::RebootPause);
    // The rebooted instrument must answer promptly; it must not hang the window.
    if (WaitForAckOrBoot(true))
        m_window.setStatus(QLatin1String(Status::UpdateSuccessful));
    else
        m_window.setStatus(QLatin1String(Status::RebootFailed));
}

void FirmwareUpdater::btnStop_Click()
{
    m_window.setKeepRunning(false);
}
