// The main window's elements and menus as they stand at design time.
#include "Form1.h"

#include "ComPortToolTips.h"
#include "DebugLog.h"
#include "TransferDisplay.h"
#include "Twips.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

template <typename Element>
Element *place(Element *element, const char *name, const QRect &geometry)
{
    element->setObjectName(QLatin1String(name));
    element->setGeometry(geometry);
    return element;
}

QLabel *makeLabel(const char *name, const char *text, QWidget *frame, const QRect &geometry)
{
    auto *label = place(new QLabel(QLatin1String(text), frame), name, geometry);
    // File names and statuses are shown as they are: "<b>" in a name is no markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

QPushButton *makeButton(const char *name, const char *text, QWidget *client, const QRect &geometry)
{
    auto *button = place(new QPushButton(QLatin1String(text), client), name, geometry);
    button->setAutoDefault(false);
    return button;
}

} // namespace

void Form1::buildElements()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("Form1Client"));
    setCentralWidget(client);

    Frame1 = place(new QGroupBox(QStringLiteral("File Information"), client), "Frame1",
                   twipsRect(0, 0, 4695, 975));
    lblFileName = makeLabel("lblFileName", "Label3", Frame1, twipsRect(120, 240, 3855, 495));
    Frame2 = place(new QGroupBox(QStringLiteral("Status"), client), "Frame2",
                   twipsRect(0, 1080, 4695, 2295));
    lblStatus = makeLabel("lblStatus", "Label1", Frame2, twipsRect(120, 360, 4335, 255));
    lblComStatus = makeLabel("lblComStatus", "Label1", Frame2, twipsRect(120, 1800, 4455, 255));

    // The bar and the Send/Stop button belong to the window, over the Status frame.
    pbFile = place(new QProgressBar(client), "pbFile", twipsRect(120, 2040, 4455, 255));
    pbFile->setRange(0, 100);
    pbFile->setValue(0);
    pbFile->setTextVisible(false);
    pbFile->setFormat(QString());
    btnSend = makeButton("btnSend", "Send File", client, twipsRect(1560, 2400, 1215, 375));
    btnStop = makeButton("btnStop", "Stop", client, twipsRect(1560, 2400, 1215, 375));
    btnStop->hide();
    for (QWidget *overFrame : {static_cast<QWidget *>(pbFile), static_cast<QWidget *>(btnSend),
                               static_cast<QWidget *>(btnStop)})
        overFrame->raise();

    // Below the Status frame: seen only in the Debug view, working in both.
    Text1 = place(new DebugLog(client), "Text1", twipsRect(0, 3480, 4695, 5775));
    Text2 = place(new QPlainTextEdit(QStringLiteral("Text2"), client), "Text2",
                  twipsRect(0, 9360, 4695, 615));
    Text2->setReadOnly(true);
    Text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_display = new TransferDisplay(
        *Text1, *Text2, [this] { showProgress(); }, this);
    btnClear = makeButton("btnClear", "Clear", client, twipsRect(0, 10080, 1095, 375));
    btnESC = makeButton("btnESC", "Send ESC", client, twipsRect(1200, 10080, 1095, 375));

    // Keyboard order of the elements that take the focus.
    setTabOrder(btnSend, btnStop);
    setTabOrder(btnStop, Text1);
    setTabOrder(Text1, btnClear);
    setTabOrder(btnClear, Text2);
    setTabOrder(Text2, btnESC);
}

void Form1::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setNativeMenuBar(false);

    mComPort = bar->addMenu(QStringLiteral("Com Port"));
    mComPort->setObjectName(QStringLiteral("mComPort"));
    for (int index = 1; index <= static_cast<int>(m_mCOM.size()); ++index) {
        QAction *item = mComPort->addAction(QStringLiteral("COM%1").arg(index));
        item->setObjectName(QStringLiteral("mCOM_%1").arg(index));
        item->setCheckable(true);
        m_mCOM[index - 1] = item;
    }
    // Each item names the device it opens, looked at whenever the menu opens.
    mComPort->setToolTipsVisible(true);
    connect(mComPort, &QMenu::aboutToShow, this,
            [this] { updateComPortToolTips(m_mCOM, m_programFolder); });

    mDebug = bar->addMenu(QStringLiteral("Debug"));
    mDebug->setObjectName(QStringLiteral("mDebug"));
    const char *const debugCaptions[] = {"Debug Off", "Debug On"};
    for (int index = 1; index <= static_cast<int>(m_mDebugChoice.size()); ++index) {
        QAction *item = mDebug->addAction(QLatin1String(debugCaptions[index - 1]));
        item->setObjectName(QStringLiteral("mDebugChoice_%1").arg(index));
        item->setCheckable(true);
        m_mDebugChoice[index - 1] = item;
    }

    // A title without items: clicking it is the whole menu.
    mAbout = bar->addAction(QStringLiteral("About"));
    mAbout->setObjectName(QStringLiteral("mAbout"));
}

void Form1::buildControlsCollection()
{
    using Kind = ControlsCollection::Kind;
    m_controls.addWidget(Frame1, Kind::Frame);
    m_controls.addWidget(lblFileName, Kind::Label);
    m_controls.addWidget(Frame2, Kind::Frame);
    m_controls.addWidget(lblStatus, Kind::Label);
    m_controls.addWidget(lblComStatus, Kind::Label);
    m_controls.addWidget(pbFile, Kind::ProgressBar);
    for (QPushButton *button : {btnSend, btnStop})
        m_controls.addWidget(button, Kind::CommandButton);
    m_controls.addWidget(Text1, Kind::TextBox);
    m_controls.addWidget(Text2, Kind::TextBox);
    for (QPushButton *button : {btnClear, btnESC})
        m_controls.addWidget(button, Kind::CommandButton);
    m_controls.addAction(mComPort->menuAction(), mComPort->objectName());
    for (QAction *item : m_mCOM)
        m_controls.addAction(item, item->objectName());
    m_controls.addAction(mDebug->menuAction(), mDebug->objectName());
    for (QAction *item : m_mDebugChoice)
        m_controls.addAction(item, item->objectName());
    m_controls.addAction(mAbout, mAbout->objectName());
}

void Form1::connectEvents()
{
    const auto onClick = [this](QPushButton *button, void (Form1::*procedure)()) {
        connect(button, &QPushButton::clicked, this,
                [this, procedure] { runEvent([this, procedure] { (this->*procedure)(); }); });
    };
    onClick(btnSend, &Form1::btnSend_Click);
    btnSend->installEventFilter(this);
    onClick(btnStop, &Form1::btnStop_Click);
    onClick(btnClear, &Form1::btnClear_Click);
    onClick(btnESC, &Form1::btnESC_Click);

    for (int index = 1; index <= static_cast<int>(m_mCOM.size()); ++index)
        connect(m_mCOM[index - 1], &QAction::triggered, this,
                [this, index] { runEvent([this, index] { mCOM_Click(index); }); });
    for (int index = 1; index <= static_cast<int>(m_mDebugChoice.size()); ++index)
        connect(m_mDebugChoice[index - 1], &QAction::triggered, this,
                [this, index] { runEvent([this, index] { mDebugChoice_Click(index); }); });
    connect(mAbout, &QAction::triggered, this, [this] { runEvent([this] { mAbout_Click(); }); });

    connect(Text1, &QPlainTextEdit::textChanged, this, &Form1::Text1_Change);
}
