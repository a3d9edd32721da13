// hexcfg.dat and its folder as the field leaves them: read-only, in the way,
// enormous, or on a full disk. Whatever happens, the file on disk is the old
// one or the new one, never a part of one, and the program ends on closing.
#include "FieldConditions.h"
#include "FileFaultFixture.h"

#include <QRegularExpression>

namespace {

const QString Prefs = QStringLiteral("hexcfg.dat");
const QString WriteFailed = QStringLiteral("Error creating prefs file!");

class PreferencesFault : public FileFaultFixture {
protected:
    QStringList entries() const
    {
        return QDir(folder.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    // Picks Debug Off first, so that a new file would differ from the old DBG=1.
    void closeWindow()
    {
        window->form().mDebugChoice_Click(1);
        window->form().close();
        EXPECT_EQ(ends, 1) << "the program went on after closing";
    }
};

TEST_F(PreferencesFault, readOnlyFolder_closing_reportsIt_oldFileKept)
{
    start();
    const QByteArray old = folder.readFile(Prefs);
    const QStringList before = entries();
    const QFileDevice::Permissions mode = QFile::permissions(folder.path());
    QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    {
        AsOrdinaryUser user;
        closeWindow();
    }
    QFile::setPermissions(folder.path(), mode);

    EXPECT_EQ(messages.shown, QStringList{WriteFailed});
    EXPECT_EQ(folder.readFile(Prefs), old);
    EXPECT_EQ(entries(), before);
}

TEST_F(PreferencesFault, prefsFileIsAFolder_fallbackAtStart_errorAtClose)
{
    QFile::remove(folder.filePath(Prefs));
    ASSERT_TRUE(QDir(folder.path()).mkdir(Prefs));
    start();
    const QStringList before = entries();
    ASSERT_EQ(messages.shown.size(), 1);
    std::cout << "[ shown ] " << messages.shown.first().toStdString() << '\n';
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Prefs Error: \\d+ \\S"))
                    .match(messages.shown.first())
                    .hasMatch());
    EXPECT_EQ(window->status(), QStringLiteral("No Firmware Found"));
    EXPECT_FALSE(window->element<QPushButton>("btnSend")->isEnabled());

    closeWindow();
    EXPECT_EQ(messages.shown.last(), WriteFailed);
    EXPECT_TRUE(QFileInfo(folder.filePath(Prefs)).isDir());
    EXPECT_EQ(entries(), before) << "a temporary file was left behind";
}

TEST_F(PreferencesFault, tenMegabytes_startUpQuick_messageShort_replacedWhole)
{
    const QByteArray huge(10 * 1024 * 1024, '7');
    const auto check = [this](const QByteArray &contents, const QString &prompt) {
        SCOPED_TRACE(prompt.toStdString());
        folder.writeFile(Prefs, contents);
        const qint64 ms = startWindow();
        std::cout << "[ measured ] start-up, " << contents.indexOf('\n') << "-byte line 1: " << ms
                  << " ms\n";
        EXPECT_LT(ms, 1500);
        EXPECT_TRUE(window->form().mDebugChoice(1)->isChecked());
        ASSERT_EQ(messages.shown.size(), prompt.isEmpty() ? 0 : 1);
        if (!prompt.isEmpty()) {
            EXPECT_TRUE(messages.shown.first().startsWith(prompt));
            EXPECT_LT(messages.shown.first().size(), 300) << "the message quotes the whole line";
        }
        window->form().close();
        EXPECT_EQ(folder.readFile(Prefs), QByteArray("COM=1\r\nDBG=0\r\n"));
        messages.shown.clear();
    };
    startInstrument();
    // Lines after the second are never read.
    check("COM=1\r\nDBG=0\r\n" + huge, {});
    check("COM=" + huge + "\r\nDBG=0\r\n", QStringLiteral("Prefs Error: 6 Overflow"));
}

TEST_F(PreferencesFault, diskFullWhileWriting_oldFileKept_noPartOfANewOne)
{
    start();
    SmallDisk disk(folder.path());
    if (!disk.failure().isEmpty())
        GTEST_SKIP() << "no small disk can be mounted here: " << disk.failure().toStdString();
    const QByteArray old = "COM=4\r\nDBG=1\r\n";
    folder.writeFile(Prefs, old);
    disk.fill(QStringLiteral("filler"));

    closeWindow();
    EXPECT_EQ(messages.shown, QStringList{WriteFailed});
    EXPECT_EQ(folder.readFile(Prefs), old);
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("filler"), Prefs}));
}

} // namespace
