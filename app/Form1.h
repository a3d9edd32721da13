#pragma once

#include "CommStuff.h"
#include "ControlsCollection.h"
#include "FirmwareUpdater.h"
#include "PortLocator.h"
#include "WindowOperations.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class DebugLog;
class FileSystem;
class MessageBoxService;
class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class TransferDisplay;
class UploaderError;

// What the window works with: the real line, disk and message box in the
// program, in-memory ones in the tests.
struct Form1Services {
    MessageBoxService &messages;
    // The device behind the serial-port control, made on its first use.
    CommStuff::DeviceFactory makeDevice;
    // The window's own file-system service, for the preferences and the firmware file.
    FileSystem &fileSystem;
    // The one FindFirmware creates for its search.
    std::function<std::unique_ptr<FileSystem>()> makeSearchFileSystem;
    // Ends the process at once, from wherever it is called; in the program it
    // never returns.
    std::function<void()> endProgram;
};

// The main window: the firmware file found, the status line, the progress bar,
// the port status and Send File / Stop; in the Debug view also the log of
// received bytes and the line being sent. It owns the serial link and the
// dialogue with the instrument, and is the only window operations they know.
class Form1 : public QMainWindow, public WindowOperations {
    Q_OBJECT
public:
    Form1(const QString &programFolder, Form1Services services, QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up, run before the window is first shown, and shutdown.
    void Form_Load();
    void Form_Unload();
    void FindFirmware();

    // Event procedures.
    void mCOM_Click(int index);
    void mDebugChoice_Click(int index);
    void mAbout_Click();
    void btnClear_Click();
    void btnSend_Click();
    void btnStop_Click();
    void btnESC_Click();

    // WindowOperations
    void setStatus(const QString &text) override;
    void appendLog(const QString &entry) override;
    void clearLog() override;
    void setSentLine(const QString &line) override;
    void setProgressRange(double minimum, double maximum) override;
    void setProgressValue(double value) override;
    double progressValue() const override { return m_progressValue; }
    void processEvents() override;
    void DisableControls() override;
    void RestoreControls() override;
    void ApplyDebugView() override;
    void showStopButton(bool running) override;
    bool keepRunning() const override { return KeepRunning; }
    void setKeepRunning(bool value) override { KeepRunning = value; }
    QString firmwarePath() const override;

    // The menu arrays by index, 1 first. An index without an item throws
    // UploaderError (NoSuchPort for mCOM, NoSuchMenuItem for mDebugChoice).
    QAction *mCOM(int index) const;
    QAction *mDebugChoice(int index) const;

    const ControlsCollection &Controls() const { return m_controls; }
    // The debug log's text, without the line breaks of its display.
    QString logText() const;
    // Hands the log entries, sent line and progress that a transfer keeps for
    // its next refresh to the widgets now.
    void refreshDisplay();
    double progressMaximum() const { return m_progressMax; }

    // The window's shared state.
    bool KeepRunning = false;
    int ComPortNumber = 1;
    QString FirmwareFileName;
    bool FirmwareFound = false;
    ::FileSystem &FileSystem;
    std::vector<bool> SavedEnabled;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

signals:
    // Every new status line, so that a technician running the program from a
    // terminal (and the demo) can follow the update as it goes.
    void statusChanged(const QString &text);
    // Every firmware line as it is sent, before the widget shows it.
    void sentLineChanged(const QString &line);

private:
    void buildElements();
    void buildMenus();
    void buildControlsCollection();
    void connectEvents();
    // Runs an event procedure for the window system, which cannot take an exception.
    void runEvent(const std::function<void()> &procedure);

    void Text1_Change();
    void centreOnScreen();
    void setOuterHeight(int outerTwips, int mustShowBottomTwips, int mustHideFromTwips);
    void fitHeight();
    void showProgress();
    void startupFallback(const UploaderError &failure);
    // Nothing held: no DisableControls in effect, no saved states.
    void releaseAllHolds();

    QString m_programFolder;
    MessageBoxService &m_messages;
    std::function<std::unique_ptr<::FileSystem>()> m_makeSearchFileSystem;
    std::function<void()> m_endProgram;
    CommStuff m_comm;
    FirmwareUpdater m_updater;
    ControlsCollection m_controls;

    QGroupBox *Frame1 = nullptr;
    QLabel *lblFileName = nullptr;
    QGroupBox *Frame2 = nullptr;
    QLabel *lblStatus = nullptr;
    QLabel *lblComStatus = nullptr;
    QProgressBar *pbFile = nullptr;
    QPushButton *btnSend = nullptr;
    QPushButton *btnStop = nullptr;
    DebugLog *Text1 = nullptr;
    QPlainTextEdit *Text2 = nullptr;
    QPushButton *btnClear = nullptr;
    QPushButton *btnESC = nullptr;
    QMenu *mComPort = nullptr;
    QMenu *mDebug = nullptr;
    QAction *mAbout = nullptr;
    std::array<QAction *, MenuComPorts> m_mCOM{};
    std::array<QAction *, 2> m_mDebugChoice{};
    TransferDisplay *m_display = nullptr;

    // Since Send File took Stop's place again at the end of an update.
    QElapsedTimer m_sendShownAgain;
    double m_progressMin = 0;
    double m_progressMax = 100;
    double m_progressValue = 0;
    int m_outerHeightTwips = 0;
    int m_mustShowBottomTwips = 0;
    int m_mustHideFromTwips = 0;
};
