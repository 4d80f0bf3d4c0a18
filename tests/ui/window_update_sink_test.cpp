#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "engine/updater.h"
#include "qt_test_support.h"
#include "support/temp_dir.h"
#include "ui/form_main.h"
#include "ui/window_update_sink.h"

using testing_support::TempDir;
using testing_support::whenModal;
using ui::TForm_main;
using ui::WindowUpdateSink;

namespace {

class WindowUpdateSinkTest : public ::testing::Test
{
protected:
    WindowUpdateSinkTest()
        : m_window(std::make_unique<TForm_main>(
              std::make_shared<engine::Updater>(m_dir.enginePath() + "\\"))),
          m_sink(m_window->updateSink())
    {}

    QString log() const { return m_window->findChild<QPlainTextEdit*>("Memo1")->toPlainText(); }

    TempDir m_dir;
    std::unique_ptr<TForm_main> m_window;
    std::shared_ptr<WindowUpdateSink> m_sink;
};

TEST_F(WindowUpdateSinkTest, ReportsFromAnotherThreadTakeEffectOnTheWindowInOrder)
{
    auto* button = m_window->findChild<QPushButton*>("Button_update");
    QString expected;
    std::thread worker([this] {
        m_sink->appendLine("left over");
        m_sink->clearLog();
        m_sink->setUpdateControls(true);
        for (int i = 0; i < 300; ++i)
            m_sink->appendLine("line " + std::to_string(i));
        m_sink->appendLine("\xD3\xF1\xEF\xE5\xF5"); // CP1251
        m_sink->setUpdateControls(false);
    });
    for (int i = 0; i < 300; ++i)
        expected += QStringLiteral("line %1\n").arg(i);
    expected += QStringLiteral("Успех");
    worker.join();
    EXPECT_FALSE(m_window->workerRunning());
    EXPECT_TRUE(button->isEnabled()) << "nothing is carried out before the event loop runs";
    EXPECT_TRUE(log().isEmpty());

    bool sawRunning = false;
    // The controls went to running before the first line and back to idle after the last.
    QObject::connect(m_window->findChild<QPlainTextEdit*>("Memo1"), &QPlainTextEdit::textChanged,
                     [&] { sawRunning = sawRunning || !button->isEnabled(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return log() == expected; }, 5000)) << log().toStdString();
    EXPECT_TRUE(sawRunning);
    EXPECT_TRUE(QTest::qWaitFor([&] { return button->isEnabled(); }, 5000));
}

// The download in progress is shown beside the button while a run lasts, and goes with it.
TEST_F(WindowUpdateSinkTest, ProgressShowsTheFileAndHowFarItCameUntilTheRunEnds)
{
    auto* files = m_window->findChild<QLabel*>("Label_files");
    auto* bar = m_window->findChild<QProgressBar*>("ProgressBar_file");
    ASSERT_TRUE(files && bar);
    m_window->show();
    EXPECT_FALSE(files->isVisible());
    EXPECT_FALSE(bar->isVisible());

    std::thread worker([this] {
        m_sink->setUpdateControls(true);
        m_sink->reportProgress(2, 5, 0, 3'000'000'000); // beyond an int
        m_sink->reportProgress(2, 5, 750'000'000, 3'000'000'000);
    });
    worker.join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() == 250; }, 5000));
    EXPECT_EQ(files->text(), QStringLiteral("Файл 2 из 5"));
    EXPECT_TRUE(files->isVisible());
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->maximum(), 1000);

    m_sink->reportProgress(3, 5, 4096, -1); // no size announced: a busy bar
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return files->text() == QStringLiteral("Файл 3 из 5"); }, 5000));
    EXPECT_EQ(bar->maximum(), 0);

    m_sink->setUpdateControls(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bar->isVisible(); }, 5000));
    EXPECT_FALSE(files->isVisible());
}

TEST_F(WindowUpdateSinkTest, ReportsAfterTheWindowIsGoneAreDropped)
{
    // Some reports are still queued when the window goes, others arrive after it.
    m_sink->appendLine("queued");
    m_sink->setUpdateControls(true);
    m_window.reset();
    std::thread worker([this] {
        for (int i = 0; i < 100; ++i) {
            m_sink->appendLine("late");
            m_sink->setUpdateControls(false);
            m_sink->reportRunError("late error");
        }
    });
    worker.join();
    QTest::qWait(50);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WindowUpdateSinkTest, AnErrorThatEndedTheRunIsShownInAnErrorBox)
{
    QString shown;
    const auto watch = whenModal<QMessageBox>([&shown](QMessageBox& box) {
        shown = box.text();
        box.accept();
    });
    m_sink->reportRunError("Cannot create file C:\\\xC1\xE0\xE7\xFB\\DAILY.ZIP");
    EXPECT_TRUE(QTest::qWaitFor([&shown] { return !shown.isEmpty(); }, 5000));
    EXPECT_EQ(shown, QStringLiteral("Cannot create file C:\\Базы\\DAILY.ZIP"));
}

} // namespace
