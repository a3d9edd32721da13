#include "frmAbout.h"

#include "Twips.h"

#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

namespace {

const QString Version = QStringLiteral("1.01");
const QString ReleaseDate = QStringLiteral("02/09/2012");

// Once centred in its known frame for this long, the box is the operator's.
constexpr qint64 FrameSettleMs = 1000;
// A manager that insists on its own place is not fought for ever.
constexpr int MaxPlacings = 8;

// Places are kept in twips, as the box was laid out.
struct Place {
    int left;
    int top;
    int width;
    int height;
};

QRect pixels(const Place &place)
{
    return twipsRect(place.left, place.top, place.width, place.height);
}

constexpr Place ClientArea{0, 0, 4485, 2985};
constexpr Place OuterSquare{120, 120, 855, 855};
constexpr Place InnerSquare{360, 360, 425, 425};

QFont fontOf(const QStringList &families, QFont::StyleHint fallback, qreal points)
{
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(fallback);
    font.setPointSizeF(points);
    return font;
}

QWidget *square(QWidget *box, const char *name, const QColor &fill, const Place &place)
{
    auto *shape = new QWidget(box);
    shape->setObjectName(QLatin1String(name));
    shape->setAutoFillBackground(true);
    QPalette palette = shape->palette();
    palette.setColor(QPalette::Window, fill);
    shape->setPalette(palette);
    shape->setGeometry(pixels(place));
    return shape;
}

QLabel *label(QWidget *box, const char *name, const QString &text, Qt::Alignment alignment,
              const Place &place)
{
    auto *caption = new QLabel(text, box);
    caption->setObjectName(QLatin1String(name));
    caption->setTextFormat(Qt::PlainText);
    caption->setAlignment(alignment | Qt::AlignTop);
    caption->setGeometry(pixels(place));
    return caption;
}

} // namespace

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About..."));
    setFixedSize(pixels(ClientArea).size());
    setFont(fontOf({QStringLiteral("MS Sans Serif")}, QFont::SansSerif, 8));

    square(this, "shORVouter", Qt::black, OuterSquare);
    shORVinner = square(this, "shORVinner", QColor(192, 192, 192), InnerSquare);

    QLabel *lbORV =
        label(this, "lbORV", QStringLiteral("ORV"), Qt::AlignLeft, {1080, 120, 1335, 855});
    lbORV->setFont(fontOf({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                           QStringLiteral("Nimbus Roman")},
                          QFont::Serif, 36));
    // At 36 pt the word is wider than its place: narrow the letters rather
    // than cut off the V.
    const int natural = lbORV->fontMetrics().horizontalAdvance(lbORV->text());
    if (natural > lbORV->width()) {
        QFont narrowed = lbORV->font();
        narrowed.setStretch(lbORV->width() * 100 / natural);
        lbORV->setFont(narrowed);
    }
    label(this, "Label5", QStringLiteral("100 Example Street"), Qt::AlignLeft,
          {2520, 240, 1815, 255});
    label(this, "Label6", QStringLiteral("Springfield XX 00000"), Qt::AlignLeft,
          {2520, 480, 1815, 255});
    label(this, "Label7", QStringLiteral("www.orv.example"), Qt::AlignLeft, {2520, 720, 1815, 255});
    QLabel *title = label(this, "Label1", QStringLiteral("Veltrax Firmware Uploader"),
                          Qt::AlignHCenter, {120, 1320, 4215, 255});
    title->setFont(fontOf({QStringLiteral("MS Sans Serif")}, QFont::SansSerif, 9.75));
    lblRevDate = label(this, "lblRevDate", QString(), Qt::AlignHCenter, {1080, 1800, 2295, 255});
    label(this, "Label4", QStringLiteral("Copyright (c) 2012 ORV Instruments"), Qt::AlignHCenter,
          {120, 2160, 4215, 255});

    btDone = new QPushButton(QStringLiteral("Done"), this);
    btDone->setObjectName(QStringLiteral("btDone"));
    btDone->setGeometry(pixels({1560, 2520, 1215, 375}));
    btDone->setDefault(true);
    btDone->setFocus();
    connect(btDone, &QPushButton::clicked, this, &frmAbout::btDone_Click);
}

void frmAbout::setVisible(bool visible)
{
    // Loading happens before the box first appears, so it never shows
    // uncentred.
    if (visible && !m_loaded) {
        m_loaded = true;
        Form_Load();
    }
    QDialog::setVisible(visible);
    if (!visible)
        m_centring = false;
}

void frmAbout::Form_Load()
{
    // Centred on its outer size, title bar and border included. A window
    // manager frames the box only once it is shown; until then the main
    // window's frame, which the same manager drew, stands in for it.
    create();
    m_frame = windowHandle()->frameMargins();
    if (m_frame.isNull() && parentWidget() && parentWidget()->window()->isVisible())
        m_frame = parentWidget()->window()->windowHandle()->frameMargins();
    m_centring = true;
    m_placingsLeft = MaxPlacings;
    m_placedFrom = QRect();
    m_centred.invalidate();
    centreOnScreen();

    const Place centred{OuterSquare.left + (OuterSquare.width - InnerSquare.width) / 2,
                        OuterSquare.top + (OuterSquare.height - InnerSquare.height) / 2,
                        InnerSquare.width, InnerSquare.height};
    shORVinner->setGeometry(pixels(centred));

    lblRevDate->setText(QStringLiteral("v") + Version + QLatin1Char(' ') + ReleaseDate);
}

QPoint frmAbout::centredFramePosition() const
{
    const QRect area = screen()->geometry();
    const QSize outer = size().grownBy(m_frame);
    return {area.x() + (area.width() - outer.width()) / 2,
            area.y() + (area.height() - outer.height()) / 2};
}

void frmAbout::centreOnScreen()
{
    // Placed by its client area: a frame position means something else to a
    // manager that has not framed the box yet.
    if (screen())
        setGeometry(QRect(centredFramePosition() + QPoint(m_frame.left(), m_frame.top()), size()));
}

bool frmAbout::event(QEvent *event)
{
    const bool handled = QDialog::event(event);
    // A window manager may report the frame late or in steps, and may place
    // the box before it has framed it: until the box has stood centred in its
    // known frame for a moment, it goes back whenever it stands elsewhere.
    // Later moves are the operator's own.
    const QWindow *window = windowHandle();
    const QMargins frame = window ? window->frameMargins() : QMargins();
    if (!m_centring || frame.isNull() || !screen())
        return handled;
    const QRect outer = window->frameGeometry();
    if (m_centred.isValid() && m_centred.hasExpired(FrameSettleMs)) {
        m_centring = false;
    } else if (frame == m_frame &&
               (outer.topLeft() - centredFramePosition()).manhattanLength() <= 2) {
        // A manager may round the place by a pixel; that is centred too.
        if (!m_centred.isValid())
            m_centred.start();
    } else if (frame != m_frame || outer != m_placedFrom) {
        // Not where it stood when last put back: the manager has answered.
        m_centred.invalidate();
        m_frame = frame;
        m_placedFrom = outer;
        m_centring = --m_placingsLeft > 0;
        centreOnScreen();
    }
    return handled;
}

void frmAbout::btDone_Click()
{
    hide();
}

void showAboutBox(QWidget *parent)
{
    static QPointer<frmAbout> box;
    if (!box) {
        box = new frmAbout(parent);
    }
    box->exec();
}
