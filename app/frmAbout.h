#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QMargins>

class QLabel;
class QPushButton;
class QWidget;

// The About box: title, version and release date under the maker's logo. It is
// loaded once, on its first showing (Form_Load centres it on the screen);
// "Done" and the close box only hide it, so a later showing finds it where and
// as the operator left it.
class frmAbout : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);

    void setVisible(bool visible) override;

protected:
    bool event(QEvent *event) override;

private:
    void Form_Load();
    void btDone_Click();
    void centreOnScreen();
    QPoint centredFramePosition() const;

    QWidget *shORVinner = nullptr;
    QLabel *lblRevDate = nullptr;
    QPushButton *btDone = nullptr;
    bool m_loaded = false;
    // During the first showing: the frame the box was centred with, where it
    // stood when it was last put back, the placings left, and since when the
    // box has stood centred.
    bool m_centring = false;
    QMargins m_frame;
    QRect m_placedFrom;
    int m_placingsLeft = 0;
    QElapsedTimer m_centred;
};

// mAbout_Click of the main window: shows the run's one About box modally
// (created on the first call, as a child of parent) and returns once the
// operator has dismissed it. The main window takes no input meanwhile.
void showAboutBox(QWidget *parent);
