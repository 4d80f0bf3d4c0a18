#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "engine/updater.h"
#include "main_window_fixture.h"
#include "qt_test_support.h"
#include "sample_update_site.h"
#include "support/loopback_servers.h"
#include "support/temp_dir.h"
#include "ui/form_main.h"
#include "ui/tpotok.h"

using testing_support::freeLoopbackPort;
using testing_support::SilentListener;
using testing_support::whenModal;
using testing_support::writeFile;
using ui::TForm_main;

namespace {

class MainWindowTest : public testing_support::MainWindowFixture
{
protected:
    // A config.ini whose update page is on 127.0.0.1 at port.
    void pointUpdatePageAt(std::uint16_t port)
    {
        m_page = "http://127.0.0.1:" + std::to_string(port) + "/update/";
        writeFile(configPath(), "[MAIN]\nupdatepath=" + m_page + "\n");
    }

    // Ctrl+U; the worker it started.
    static QPointer<ui::Tpotok> startRun(TForm_main& window)
    {
        QTest::keyClick(&window, Qt::Key_U, Qt::ControlModifier);
        const QPointer<ui::Tpotok> worker = window.worker();
        EXPECT_FALSE(worker.isNull());
        return worker;
    }

    static QStringList logLines(const TForm_main& window)
    {
        return control<QPlainTextEdit>(window, "Memo1")
            ->toPlainText()
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // What a run logs when the update page cannot be fetched.
    // The log of a run whose page could not be fetched, ending with the line that says why.
    QStringList refusedPageLog(const QString& cause) const
    {
        return {QStringLiteral("Попытка соединения с ") + QString::fromStdString(m_page) +
                    QStringLiteral(" ..."),
                QStringLiteral("Соединение не установлено..."), QStringLiteral("      ") + cause};
    }

    static bool waitForIdle(const TForm_main& window)
    {
        return QTest::qWaitFor([&window] { return window.worker() == nullptr; }, 10000);
    }

    static void expectControls(const TForm_main& window, bool running)
    {
        EXPECT_EQ(control<QPushButton>(window, "Button_update")->isEnabled(), !running);
        EXPECT_EQ(control<QAction>(window, "N4")->isEnabled(), !running);
        EXPECT_EQ(control<QPushButton>(window, "Button_cancel")->isEnabled(), running);
        EXPECT_FALSE(control<QPushButton>(window, "Button_cancel")->isVisible());
    }

    std::string m_page;
};

TEST_F(MainWindowTest, HasTheDesignedWindowControlsAndMenu)
{
    auto window = openWindow();
    EXPECT_EQ(window->windowTitle(),
              QStringLiteral("Программа обновления антивирусных баз для Kavor-а"));
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the user cannot resize it";
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);

    auto* memo = control<QPlainTextEdit>(*window, "Memo1");
    EXPECT_EQ(memo->geometry(), QRect(0, 40, 462, 175));
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    auto* update = control<QPushButton>(*window, "Button_update");
    EXPECT_EQ(update->text(), QStringLiteral("Обновить базы"));
    EXPECT_EQ(update->geometry(), QRect(168, 8, 105, 25));
    EXPECT_EQ(control<QPushButton>(*window, "Button_cancel")->text(), QStringLiteral("Отменить"));
    expectControls(*window, false);

    struct Item
    {
        const char* menu;
        const char* menuText;
        const char* name;
        const char* text;
        QKeySequence shortcut;
        bool image;
    };
    const Item items[] = {
        {"N1", "Файл", "N4", "Обновить базы", QKeySequence(Qt::CTRL | Qt::Key_U), false},
        {"N1", "Файл", "N2", "Выход", QKeySequence(Qt::ALT | Qt::Key_X), true},
        {"N3", "Настройка", "N5", "Настройка", QKeySequence(Qt::CTRL | Qt::Key_O), true},
        {"N6", "?", "N7", "О программе", QKeySequence(), true},
    };
    for (const Item& item : items) {
        SCOPED_TRACE(item.name);
        auto* menu = control<QMenu>(*window, item.menu);
        auto* action = control<QAction>(*window, item.name);
        ASSERT_TRUE(menu && action);
        EXPECT_EQ(menu->title(), QString::fromUtf8(item.menuText));
        EXPECT_TRUE(menu->actions().contains(action));
        EXPECT_EQ(action->text(), QString::fromUtf8(item.text));
        EXPECT_EQ(action->shortcut(), item.shortcut);
        EXPECT_EQ(!action->icon().isNull(), item.image);
    }
}

TEST_F(MainWindowTest, EachStartCommandRunsOnceWithTheControlsDisabledUntilTheRunEnds)
{
    pointUpdatePageAt(freeLoopbackPort());
    auto window = openWindow();
    auto* memo = control<QPlainTextEdit>(*window, "Memo1");
    auto* button = control<QPushButton>(*window, "Button_update");
    auto* menuItem = control<QAction>(*window, "N4");

    const std::pair<const char*, std::function<void()>> starts[] = {
        {"Ctrl+U", [&] { QTest::keyClick(window.get(), Qt::Key_U, Qt::ControlModifier); }},
        {"button", [&] { QTest::mouseClick(button, Qt::LeftButton); }},
        {"menu item", [&] { menuItem->trigger(); }},
    };
    for (const auto& [how, start] : starts) {
        SCOPED_TRACE(how);
        memo->setPlainText(QStringLiteral("a line of the previous run"));
        start();
        // Nothing the worker reports is carried out before the event loop runs again, so this
        // is the running state.
        expectControls(*window, true);
        ui::Tpotok* worker = window->worker();
        ASSERT_NE(worker, nullptr);
        QTest::keyClick(window.get(), Qt::Key_U, Qt::ControlModifier);
        QTest::mouseClick(button, Qt::LeftButton);
        menuItem->trigger();
        EXPECT_EQ(window->worker(), worker) << "a second run started while one was in progress";

        ASSERT_TRUE(waitForIdle(*window));
        expectControls(*window, false);
        EXPECT_EQ(logLines(*window),
                  refusedPageLog(QStringLiteral("Socket Error # 10061 Connection refused.")));
    }
}

TEST_F(MainWindowTest, ClosingDuringARunSetsTheStopRequestAndAbandonsTheWorkerSafely)
{
    SilentListener server;
    pointUpdatePageAt(server.port());
    auto window = openWindow();
    const QPointer<ui::Tpotok> worker = startRun(*window);
    ASSERT_FALSE(worker.isNull());

    QTest::keyClick(window.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_FALSE(window->isVisible());
    ASSERT_FALSE(worker.isNull()) << "the window must not wait for the worker";
    EXPECT_TRUE(worker->stopRequested());
    window.reset();

    // The worker outlives the window; once the server lets go, its run ends, its reports go
    // nowhere, and it deletes itself, releasing the engine state it shared.
    server.close();
    EXPECT_TRUE(QTest::qWaitFor([&worker] { return worker.isNull(); }, 10000));
    EXPECT_EQ(m_updater.use_count(), 1);
}

TEST_F(MainWindowTest, CancelWaitsForTheRunWhileCarryingOutItsReports)
{
    SilentListener server;
    pointUpdatePageAt(server.port());
    auto window = openWindow();
    const QPointer<ui::Tpotok> worker = startRun(*window);
    ASSERT_FALSE(worker.isNull());

    // The cancel handler waits for the worker; the server lets go while it waits.
    QTimer::singleShot(200, [&server] { server.close(); });
    window->Button_cancelClick();
    EXPECT_TRUE(worker.isNull() || worker->isFinished());
    expectControls(*window, false);
    const QStringList lines = logLines(*window);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.mid(0, 2), refusedPageLog({}).mid(0, 2));
    EXPECT_TRUE(waitForIdle(*window));
}

TEST_F(MainWindowTest, ExitClosesTheWindowAfterCompletedRuns)
{
    pointUpdatePageAt(freeLoopbackPort());
    auto window = openWindow();
    for (int run = 0; run < 2; ++run) {
        QTest::keyClick(window.get(), Qt::Key_U, Qt::ControlModifier);
        ASSERT_TRUE(waitForIdle(*window));
    }
    QTest::keyClick(window.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->workerRunning());
}

TEST_F(MainWindowTest, UnreadableProxyPasswordIsShownWhileTheWindowIsCreated)
{
    writeFile(configPath(), "[MAIN]\nproxy_server=p.example\nproxy_pwd=99107x105910aSRQD\n");
    QString shown;
    const auto watch = whenModal<QMessageBox>([&shown](QMessageBox& box) {
        shown = box.text();
        box.accept();
    });
    auto window = openWindow();
    EXPECT_EQ(shown, QStringLiteral("'01x7' is not a valid integer value"));
    const engine::Settings settings = m_updater->settings();
    EXPECT_EQ(settings.proxy_server, "p.example") << "creation goes on";
    EXPECT_EQ(settings.proxy_pwd, "");
}

// Runs against a real web server.
class MainWindowUpdateTest : public MainWindowTest
{
protected:
    void writeConfig(const std::filesystem::path& archiveDirectory)
    {
        std::filesystem::create_directory(m_dir.path() / "kavor");
        writeFile(configPath(), "[MAIN]\nupdatepath=" + m_site.pageUrl() +
                                    "\nkvopath=" + (m_dir.path() / "kavor").string() +
                                    "\narchpath=" + archiveDirectory.string() + "\nunpack=1\n");
    }

    QString line(const char* utf8) const { return QString::fromUtf8(utf8); }

    testing_support::SampleUpdateSite m_site;
};

TEST_F(MainWindowUpdateTest, TheLogShowsEveryStepOfARun)
{
    m_site.addArchive("DAILY", "daily signatures");
    m_site.addArchive("BASE001", "base signatures");
    m_site.writePage({"DAILY", "MISSING", "BASE001"});
    std::filesystem::create_directory(m_dir.path() / "basa");
    writeConfig(m_dir.path() / "basa");
    auto window = openWindow();
    startRun(*window);
    ASSERT_TRUE(waitForIdle(*window));
    expectControls(*window, false);
    EXPECT_EQ(
        logLines(*window),
        QStringList({line("Попытка соединения с ") + QString::fromStdString(m_site.pageUrl()) +
                         line(" ..."),
                     line("Соединение успешно установлено."), line("Файлов для обновления: 3"),
                     line("Забираем файл DAILY.ZIP ..."), line("DAILY.ZIP - успех."),
                     line("Забираем файл MISSING.ZIP ..."), line("      Неудача!"),
                     line("      404 Not Found"), line("Забираем файл BASE001.ZIP ..."),
                     line("BASE001.ZIP - успех."), line("BASE001.ZIP - удачно распакован!"),
                     line("DAILY.ZIP - удачно распакован!")}));
}

TEST_F(MainWindowUpdateTest, AnArchiveThatCannotBeWrittenIsReportedInAnErrorBox)
{
    m_site.addArchive("DAILY", "daily signatures");
    m_site.writePage({"DAILY"});
    writeConfig(m_dir.path() / "missing");
    auto window = openWindow();
    QString shown;
    const auto watch = whenModal<QMessageBox>([&shown](QMessageBox& box) {
        shown = box.text();
        box.accept();
    });
    startRun(*window);
    ASSERT_TRUE(QTest::qWaitFor([&shown] { return !shown.isEmpty(); }, 10000));
    EXPECT_TRUE(shown.contains(QStringLiteral("DAILY.ZIP"))) << shown.toStdString();
    ASSERT_TRUE(waitForIdle(*window));
    expectControls(*window, false);
    EXPECT_EQ(logLines(*window).last(), line("DAILY.ZIP - успех."));
}

} // namespace
