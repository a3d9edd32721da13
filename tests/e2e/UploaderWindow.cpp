#include "UploaderWindow.h"

#include "QSerialByteDevice.h"
#include "globals.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Watches `signal` until `fires` says yes, then runs `action` once, queued.
template <typename Sender, typename Signal>
void once(Sender *sender, Signal signal, std::function<bool()> fires, std::function<void()> action)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(sender, signal, [connection, fires, action] {
        if (!fires())
            return;
        QObject::disconnect(*connection);
        QTimer::singleShot(0, action);
    });
}

} // namespace

UploaderWindow::UploaderWindow(const QString &programFolder, MessageBoxService &messages,
                               std::function<void()> endProgram, bool keepLineEvents)
{
    // A window of an earlier test may have left the nesting counter behind.
    globals::DisableDepth = 0;
    Form1Services services{
        messages,
        [this, programFolder, keepLineEvents] {
            auto line = std::make_unique<RecordingByteDevice>(
                std::make_unique<QSerialByteDevice>(programFolder), keepLineEvents);
            m_line = line.get();
            return line;
        },
        m_disk,
        [] { return std::make_unique<QtFileSystem>(); },
        std::move(endProgram),
    };
    m_form = std::make_unique<Form1>(programFolder, std::move(services));
}

void UploaderWindow::start()
{
    m_form->Form_Load();
    m_form->show();
}

void UploaderWindow::clickSend()
{
    QTest::mouseClick(element<QPushButton>("btnSend"), Qt::LeftButton);
}

void UploaderWindow::whenStatus(const QString &text, std::function<void()> action)
{
    once(
        m_form.get(), &Form1::statusChanged, [this, text] { return status() == text; },
        std::move(action));
}

void UploaderWindow::whenLineSent(int lineNumber, std::function<void()> action)
{
    auto sent = std::make_shared<int>(0);
    auto connection = std::make_shared<QMetaObject::Connection>();
    // The line is emptied before the transfer; every line of a firmware file
    // holds at least its start character.
    *connection = QObject::connect(m_form.get(), &Form1::sentLineChanged,
                                   [sent, lineNumber, connection, action](const QString &line) {
                                       if (line.isEmpty() || ++*sent != lineNumber)
                                           return;
                                       QObject::disconnect(*connection);
                                       QTimer::singleShot(0, action);
                                   });
}

void UploaderWindow::clickStop()
{
    QTest::mouseClick(element<QPushButton>("btnStop"), Qt::LeftButton);
}

QString UploaderWindow::status() const
{
    return text("lblStatus");
}

QString UploaderWindow::text(const char *elementName) const
{
    const auto *label = element<QLabel>(elementName);
    return label ? label->text() : QStringLiteral("(no %1)").arg(QLatin1String(elementName));
}

void UploaderWindow::expectIdle() const
{
    EXPECT_TRUE(element<QPushButton>("btnSend")->isVisible());
    EXPECT_TRUE(element<QPushButton>("btnSend")->isEnabled());
    EXPECT_FALSE(element<QPushButton>("btnStop")->isVisible());
    for (const char *name : {"btnClear", "btnESC"})
        EXPECT_TRUE(element<QPushButton>(name)->isEnabled()) << name;
    EXPECT_TRUE(m_form->mCOM(1)->isEnabled());
    EXPECT_TRUE(m_form->mDebugChoice(2)->isEnabled());
    ASSERT_NE(m_line, nullptr);
    EXPECT_FALSE(m_line->isOpen());
}
