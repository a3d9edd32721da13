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
    const QString adapter = dir.filePath("dev/ttyUSB0"), marked = dir.filePath("dev/<b>adapter");
    const QString byId = dir.filePath("dev/serial/by-id/usb-FTDI_A1B2C3-if00-port0");
    ASSERT_TRUE(dir.mkpath("dev/serial/by-id"));
    for (const QString &file : {adapter, marked, dir.filePath("COM6")})
        ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link("../../ttyUSB0", byId) && QFile::link(adapter, dir.filePath("COM2")) &&
                QFile::link(byId, dir.filePath("COM3")) &&
                QFile::link("/dev/veltrax-no-such-adapter", dir.filePath("COM4")) &&
                QFile::link(marked, dir.filePath("COM5")) &&
                QFile::link("dev/ttyUSB0", dir.filePath("COM7"))); // relative to the folder

    Form1 &form = h.start("COM=1\r\nDBG=0\r\n");
    auto *menu = h.element<QMenu>("mComPort");
    ASSERT_TRUE(menu && menu->toolTipsVisible());
    emit menu->aboutToShow();
    const QString link = "\n(the link COM%1 in the program folder)\n";
    const struct {
        int port;
        QString text; // in full; a built-in port's presence depends on the machine
    } rows[] = {
        {1, "Opens /dev/ttyS0\n(no COM1 link in the program folder)\n"},
        {2, "Opens " + adapter + link.arg(2) + "Present now"},
        {3, "Opens " + byId + link.arg(3) + "Present now, as " +
                QFileInfo(adapter).canonicalFilePath()},
        {4, "Opens /dev/veltrax-no-such-adapter" + link.arg(4) + "Not present now"},
        {5, "Opens " + marked + link.arg(5) + "Present now"},
        {6, "Opens " + QFileInfo(dir.filePath("COM6")).canonicalFilePath() +
                "\n(not a link)\nPresent now"},
        {7, "Opens " + adapter + link.arg(7) + "Present now"},
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
    EXPECT_EQ(shown(form.mCOM(3)), "Opens " + byId + link.arg(3) + "Not present now");
}

} // namespace
