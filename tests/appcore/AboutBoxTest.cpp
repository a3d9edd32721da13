#include "frmAbout.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class AboutBox : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "appcore_test", *argv[] = {name, nullptr};
        static QApplication application(argc, argv);
    }
};

TEST_F(AboutBox, textsFitTheirPlaces_onlyDoneTakesFocus)
{
    frmAbout box;
    for (const QWidget *element : box.findChildren<QWidget *>()) {
        EXPECT_EQ(element->focusPolicy() != Qt::NoFocus, element->objectName() == "btDone");
        if (const auto *label = qobject_cast<const QLabel *>(element)) {
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
                << label->objectName().toStdString(); // the 36 pt logo included
        }
    }
}

TEST_F(AboutBox, showAboutBox_loadsOnFirstShowing_thenShowsTheSameBoxAsLeft)
{
    QWidget mainWindow;
    QList<QWidget *> shown;
    QPoint firstPlace;
    for (int showing = 0; showing < 2; ++showing) {
        QTimer::singleShot(0, [&] {
            QWidget *box = QApplication::activeModalWidget();
            ASSERT_NE(qobject_cast<frmAbout *>(box), nullptr);
            shown << box;
            firstPlace = shown.size() == 1 ? box->pos() : firstPlace;
            EXPECT_EQ(box->findChild<QLabel *>("lblRevDate")->text(), "v1.01 02/09/2012");
            EXPECT_EQ(box->focusWidget(), box->findChild<QWidget *>("btDone"));
            box->move(box->pos() + QPoint(5, 5));
            box->findChild<QPushButton *>("btDone")->click();
        });
        showAboutBox(&mainWindow);
    }
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0], shown[1]);
    EXPECT_EQ(shown[1]->pos(), firstPlace + QPoint(10, 10)); // not centred a second time
    const QRect screen = shown[0]->screen()->geometry();
    const QSize outer = shown[0]->frameGeometry().size();
    EXPECT_EQ(firstPlace, screen.topLeft() + QPoint((screen.width() - outer.width()) / 2,
                                                    (screen.height() - outer.height()) / 2));
}

} // namespace
