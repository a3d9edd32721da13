// The "Com Port" items tell what each port opens before the technician picks one.
#include "WindowHarness.h"

#include <QDir>
#include <QMenu>
#include <QTextDocument>

namespace {

// The text a tooltip shows on screen.
QString shown(const QAction *item)
{
    QTextDocument document;
    if (Qt::mightBeRichText(item->toolTip()))
        document.setHtml(item->toolTip());
    else
        document.setPlainText(item->toolTip());
    return document.toPlainText().replace(QChar::LineSeparator, QLatin1Char('\n'));
}

TEST(ComPortToolTips, nameWhatEachPortOpensAndWhetherItIsThere_refreshedOnOpening)
{
    WindowHarness h;
    const QDir dir(h.folder.path());
    ASSERT_TRUE(dir.mkpath("dev/serial/by-id"));
    h.writeFile("dev/ttyUSB0", "");
    h.writeFile("dev/<b>adapter", "");
    h.writeFile("COM6", "");
    const QString adapter = dir.filePath("dev/ttyUSB0");
    const QString byId = dir.filePath("dev/serial/by-id/usb-FTDI_A1B2C3-if00-port0");
    ASSERT_TRUE(QFile::link("../../ttyUSB0", byId));
    ASSERT_TRUE(QFile::link(adapter, dir.filePath("COM2")) &&
                QFile::link(byId, dir.filePath("COM3")) &&
                QFile::link("/dev/veltrax-no-such-adapter", dir.filePath("COM4")) &&
                QFile::link(dir.filePath("dev/<b>adapter"), dir.filePath("COM5")) &&
                QFile::link("dev/ttyUSB0", dir.filePath("COM7")));
    const QString com6 = QFileInfo(dir.filePath("COM6")).canonicalFilePath();
    const QString canonicalAdapter = QFileInfo(adapter).canonicalFilePath();

    Form1 &form = h.start();
    auto *menu = h.element<QMenu>("mComPort");
    ASSERT_TRUE(menu && menu->toolTipsVisible());
    emit menu->aboutToShow();
    const struct {
        int port;
        QString text; // in full; a built-in port's presence depends on the machine
    } rows[] = {
        {1, "Opens /dev/ttyS0\n(no COM1 link in the program folder)\n"},
        {2, "Opens " + adapter + "\n(the link COM2 in the program folder)\nPresent now"},
        {3, "Opens " + byId + "\n(the link COM3 in the program folder)\nPresent now, as " +
                canonicalAdapter},
        {4, "Opens /dev/veltrax-no-such-adapter\n(the link COM4 in the program folder)\n"
            "Not present now"},
        {5, "Opens " + dir.filePath("dev/<b>adapter") +
                "\n(the link COM5 in the program folder)\nPresent now"},
        {6, "Opens " + com6 + "\n(not a link)\nPresent now"},
        {7, "Opens " + adapter + "\n(the link COM7 in the program folder)\nPresent now"},
        {16, "Opens /dev/ttyS15\n(no COM16 link in the program folder)\n"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.port);
        const QAction *item = form.mCOM(row.port);
        EXPECT_EQ(item->text(), QStringLiteral("COM%1").arg(row.port));
        if (row.text.endsWith('\n'))
            EXPECT_TRUE(shown(item).startsWith(row.text)) << shown(item).toStdString();
        else
            EXPECT_EQ(shown(item), row.text);
    }

    // Unplugged after start-up: the menu says so the next time it opens.
    ASSERT_TRUE(QFile::remove(adapter));
    emit menu->aboutToShow();
    EXPECT_EQ(shown(form.mCOM(3)),
              "Opens " + byId + "\n(the link COM3 in the program folder)\nNot present now");
    EXPECT_TRUE(shown(form.mCOM(2)).endsWith("\nNot present now"));
}

} // namespace
