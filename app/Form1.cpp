// The main window: its event procedures and what the dialogue with the
// instrument does to it.
#include "Form1.h"

#include "DebugLog.h"
#include "FileSystem.h"
#include "MessageBoxService.h"
#include "ProgramFolder.h"
#include "TransferDisplay.h"
#include "Twips.h"
#include "UploaderError.h"
#include "frmAbout.h"
#include "globals.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleHints>
#include <QTextCursor>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int ClientWidthTwips = 4710;
// Outer heights of the two views; the normal one is also the design-time height.
constexpr int NormalHeightTwips = 4125;
constexpr int DebugHeightTwips = 11235;
// What each view must show whole: the Status frame, or the Clear and Send ESC buttons.
constexpr int StatusFrameBottomTwips = 1080 + 2295;
constexpr int DebugButtonsBottomTwips = 10080 + 375;
// The normal view hides everything from the debug log down; where the platform
// has no title bar (a bare X server) the outer height would otherwise show a
// strip of it.
constexpr int DebugLogTopTwips = 3480;
constexpr int NothingHidden = std::numeric_limits<int>::max();

} // namespace

Form1::Form1(const QString &programFolder, Form1Services services, QWidget *parent)
    : QMainWindow(parent), FileSystem(services.fileSystem), m_programFolder(programFolder),
      m_messages(services.messages),
      m_makeSearchFileSystem(std::move(services.makeSearchFileSystem)),
      m_endProgram(std::move(services.endProgram)),
      m_comm(services.messages, std::move(services.makeDevice)),
      m_updater(m_comm, *this, services.messages, services.fileSystem)
{
    Q_INIT_RESOURCE(Form1);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("ORV Veltrax Firmware Uploader"));
    setWindowIcon(QIcon(QStringLiteral(":/Form1/uploader.png")));
    // A fixed border: it can be minimised but neither maximised nor resized.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    buildElements();
    buildMenus();
    buildControlsCollection();
    connectEvents();
    // DisableDepth is program-wide: a new window starts with nothing held.
    releaseAllHolds();
    setOuterHeight(NormalHeightTwips, StatusFrameBottomTwips, DebugLogTopTwips);
}

Form1::~Form1() = default;

QAction *Form1::mCOM(int index) const
{
    if (index < 1 || index > static_cast<int>(m_mCOM.size()))
        throw UploaderError(ErrorCode::NoSuchPort,
                            QStringLiteral("No Com Port menu item for port ") +
                                QString::number(index));
    return m_mCOM[static_cast<std::size_t>(index - 1)];
}

QAction *Form1::mDebugChoice(int index) const
{
    if (index < 1 || index > static_cast<int>(m_mDebugChoice.size()))
        throw UploaderError(ErrorCode::NoSuchMenuItem,
                            QStringLiteral("No Debug menu item ") + QString::number(index));
    return m_mDebugChoice[static_cast<std::size_t>(index - 1)];
}

void Form1::runEvent(const std::function<void()> &procedure)
{
    try {
        procedure();
    } catch (const UploaderError &failure) {
        // Nothing above an event procedure could take the failure: name it and
        // keep the window working.
        m_messages.showOk(QStringLiteral("Error ") + QString::number(failure.code()) +
                          QLatin1Char(' ') + failure.description());
    }
}

void Form1::mCOM_Click(int index)
{
    QAction *chosen = mCOM(index); // an index without an item changes nothing
    mCOM(ComPortNumber)->setChecked(false);
    ComPortNumber = index;
    // A port that cannot be opened has been named to the operator already; the
    // choice stands all the same, and the port status names the chosen port.
    m_comm.SelectComPort(ComPortNumber);
    chosen->setChecked(true);
    lblComStatus->setText(QStringLiteral("Connected via Serial (COM") +
                          QString::number(ComPortNumber) + QLatin1Char(')'));
}

void Form1::mDebugChoice_Click(int index)
{
    const bool debugOff = index == 1;
    mDebugChoice(debugOff ? 2 : 1)->setChecked(false);
    mDebugChoice(debugOff ? 1 : 2)->setChecked(true);
    ApplyDebugView();
}

void Form1::mAbout_Click()
{
    showAboutBox(this);
}

void Form1::btnClear_Click()
{
    m_display->clearLog();
}

void Form1::btnSend_Click()
{
    m_updater.btnSend_Click();
}

void Form1::btnStop_Click()
{
    m_updater.btnStop_Click();
}

void Form1::btnESC_Click()
{
    m_updater.btnESC_Click();
}

void Form1::Text1_Change()
{
    // The log always shows its newest entry.
    QTextCursor end = Text1->textCursor();
    end.movePosition(QTextCursor::End);
    Text1->setTextCursor(end);
}

void Form1::setStatus(const QString &text)
{
    if (text == lblStatus->text())
        return;
    lblStatus->setText(text);
    emit statusChanged(text);
}

void Form1::appendLog(const QString &entry)
{
    m_display->appendLog(entry);
}

void Form1::clearLog()
{
    m_display->clearLog();
}

QString Form1::logText() const
{
    return m_display->logText();
}

void Form1::setSentLine(const QString &line)
{
    m_display->setSentLine(line);
    emit sentLineChanged(line);
}

void Form1::setProgressRange(double minimum, double maximum)
{
    m_progressMin = minimum;
    m_progressMax = maximum;
    m_display->progressChanged();
}

void Form1::setProgressValue(double value)
{
    m_progressValue = value;
    m_display->progressChanged();
}

void Form1::refreshDisplay()
{
    m_display->showPending();
}

void Form1::showProgress()
{
    // The bar shows the share done on its own fixed scale: the transfer's value
    // may pass its maximum, its range may be empty, and a file size need not
    // fit the bar's int.
    const double span = m_progressMax - m_progressMin;
    double share = span > 0 ? (m_progressValue - m_progressMin) / span : 0.0;
    if (!(share >= 0.0)) // below the minimum, or not a number
        share = 0.0;
    share = std::min(share, 1.0);
    pbFile->setValue(pbFile->minimum() + static_cast<int>(std::lround(
                                             share * (pbFile->maximum() - pbFile->minimum()))));
}

void Form1::processEvents()
{
    QCoreApplication::processEvents();
}

void Form1::releaseAllHolds()
{
    SavedEnabled.assign(static_cast<std::size_t>(m_controls.count()), false);
    globals::DisableDepth = 0;
}

void Form1::DisableControls()
{
    if (globals::DisableDepth > 0) {
        ++globals::DisableDepth;
        return;
    }
    m_controls.saveAndDisable(SavedEnabled);
    globals::DisableDepth = 1;
}

void Form1::RestoreControls()
{
    if (globals::DisableDepth > 1) {
        --globals::DisableDepth;
        return;
    }
    m_controls.restore(SavedEnabled);
    globals::DisableDepth = 0;
}

void Form1::ApplyDebugView()
{
    if (mDebugChoice(1)->isChecked())
        setOuterHeight(NormalHeightTwips, StatusFrameBottomTwips, DebugLogTopTwips);
    else
        setOuterHeight(DebugHeightTwips, DebugButtonsBottomTwips, NothingHidden);
}

void Form1::setOuterHeight(int outerTwips, int mustShowBottomTwips, int mustHideFromTwips)
{
    m_outerHeightTwips = outerTwips;
    m_mustShowBottomTwips = mustShowBottomTwips;
    m_mustHideFromTwips = mustHideFromTwips;
    fitHeight();
}

void Form1::fitHeight()
{
    // The outer height counts the title bar and the menu bar, which are the
    // platform's own; the client area gets what is left, but never less than
    // the view must show whole where those bars are taller than classic ones.
    const int decoration = frameGeometry().height() - geometry().height();
    const int menuHeight = menuBar()->sizeHint().height();
    const int hideFrom =
        m_mustHideFromTwips == NothingHidden ? NothingHidden : twipsToPixels(m_mustHideFromTwips);
    const int clientHeight =
        std::max(std::min(twipsToPixels(m_outerHeightTwips) - decoration - menuHeight, hideFrom),
                 twipsToPixels(m_mustShowBottomTwips));
    setFixedSize(twipsToPixels(ClientWidthTwips), menuHeight + clientHeight);
}

void Form1::centreOnScreen()
{
    // From the design-time size; the height that the view sets later does not
    // move the window again.
    const QRect area = screen()->geometry();
    const int outerWidth = twipsToPixels(ClientWidthTwips) + frameGeometry().width() - width();
    const int outerHeight = twipsToPixels(NormalHeightTwips);
    move(area.x() + (area.width() - outerWidth) / 2, area.y() + (area.height() - outerHeight) / 2);
}

void Form1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    fitHeight();
}

void Form1::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    // A window manager reports its frame only once the window is placed.
    fitHeight();
}

void Form1::showStopButton(bool running)
{
    btnSend->setVisible(!running);
    btnStop->setVisible(running);
    if (running)
        btnStop->setEnabled(true);
    else
        m_sendShownAgain.start();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // Send File takes Stop's place: the second click of a double click on
    // Stop lands on it once the update has ended, and must not start another
    // (its question has Yes as the default, so one Return would erase the
    // instrument again). Mouse presses within the double-click interval are
    // dropped; the keyboard and later clicks are not.
    const bool press =
        event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    if (watched == btnSend && press && m_sendShownAgain.isValid() &&
        m_sendShownAgain.elapsed() < QGuiApplication::styleHints()->mouseDoubleClickInterval())
        return true;
    return QMainWindow::eventFilter(watched, event);
}

QString Form1::firmwarePath() const
{
    // No file is named in an unusable folder: not in the working directory, not at the root.
    if (!isUsableFolder(m_programFolder))
        return QString();
    return m_programFolder + QLatin1Char('/') + FirmwareFileName;
}

void Form1::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    // Reached only where ending the program returns, as in the tests.
    event->accept();
}
