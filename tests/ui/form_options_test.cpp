#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "engine/updater.h"
#include "main_window_fixture.h"
#include "qt_test_support.h"
#include "support/temp_dir.h"
#include "ui/form_main.h"
#include "ui/form_options.h"
#include "ui/form_select_path.h"

using testing_support::readFile;
using testing_support::whenModal;
using testing_support::writeFile;
using ui::TForm_main;
using ui::TForm_options;
using ui::TForm_select_path;

namespace {

class OptionsCommandTest : public testing_support::MainWindowFixture
{
protected:
    OptionsCommandTest() { std::filesystem::create_directory(m_dir.path() / "arch"); }

    // Ctrl+O, with action carried out on the dialog while it runs.
    static void runOptions(TForm_main& window, std::function<void(TForm_options&)> action)
    {
        bool opened = false;
        const auto watch = whenModal<TForm_options>([&opened, action](TForm_options& dialog) {
            opened = true;
            action(dialog);
        });
        // A dialog that just closed may have left the window inactive, and shortcuts need an
        // active window.
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        EXPECT_TRUE(opened);
    }

    static void pressOk(TForm_options& dialog)
    {
        dialog.findChild<QPushButton*>("button_ok")->click();
    }

    static void pressCancel(TForm_options& dialog)
    {
        dialog.findChild<QPushButton*>("button_cancel")->click();
    }
};

engine::Settings sampleSettings(const std::string& directory)
{
    engine::Settings s;
    s.updatepath = "http://mirror.example/upd/";
    s.kvopath = directory + "\\kavor";
    s.archpath = directory + "\\arch";
    s.unpackline = "pkunzip -o";
    s.unpack = true;
    s.nasty = false;
    s.risk = true;
    s.proxy = true;
    s.proxy_username = "\xC8\xE2\xE0\xED"; // CP1251
    s.proxy_server = "proxy.example";
    s.proxy_port = 3128;
    s.proxy_pwd = "s3cret";
    return s;
}

TEST_F(OptionsCommandTest, CtrlOOpensTheDialogFilledFromTheSettings)
{
    auto window = openWindow();
    m_updater->setSettings(sampleSettings(m_dir.enginePath()));
    const QString dir = QString::fromStdString(m_dir.enginePath());
    runOptions(*window, [&dir](TForm_options& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Настройки"));
        EXPECT_EQ(dialog.Edit_update_path->text(), QStringLiteral("http://mirror.example/upd/"));
        // Directories read in this system's own form.
        EXPECT_EQ(dialog.Edit_kavor_path->text(), dir + "/kavor");
        EXPECT_EQ(dialog.Edit_arch_path->text(), dir + "/arch");
        EXPECT_EQ(dialog.Edit_unpack->text(), QStringLiteral("pkunzip -o"));
        EXPECT_FALSE(dialog.Edit_unpack->isVisible());
        EXPECT_FALSE(dialog.findChild<QLabel*>("Label4")->isVisible());
        EXPECT_TRUE(dialog.CB_unpack->isChecked());
        EXPECT_FALSE(dialog.CB_nasty->isChecked());
        EXPECT_TRUE(dialog.CB_risk->isChecked());
        EXPECT_TRUE(dialog.CB_proxy->isChecked());
        EXPECT_EQ(dialog.UserName->text(), QStringLiteral("Иван"));
        EXPECT_EQ(dialog.Server->text(), QStringLiteral("proxy.example"));
        EXPECT_EQ(dialog.Port->text(), QStringLiteral("3128"));
        EXPECT_EQ(dialog.Password->text(), QStringLiteral("s3cret"));
        EXPECT_EQ(dialog.Password->echoMode(), QLineEdit::Password);
        EXPECT_TRUE(dialog.Server->isEnabled()) << "the proxy controls follow CB_proxy";
        pressCancel(dialog);
    });
}

TEST_F(OptionsCommandTest, CancelAndCloseLeaveTheSettingsAndTheFileUntouched)
{
    const std::string ini =
        "; kept as it is\n[MAIN]\nupdatepath=http://a.example/\nproxy_port=8080\n";
    writeFile(configPath(), ini);
    auto window = openWindow();
    const engine::Settings before = m_updater->settings();

    const std::pair<const char*, std::function<void(TForm_options&)>> endings[] = {
        {"Отмена", pressCancel},
        {"close button", [](TForm_options& dialog) { dialog.close(); }},
        {"Esc", [](TForm_options& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); }},
    };
    for (const auto& [how, ending] : endings) {
        SCOPED_TRACE(how);
        // Captured by a name of its own: clang 14 cannot capture a structured binding.
        const std::function<void(TForm_options&)>& end = ending;
        runOptions(*window, [&end](TForm_options& dialog) {
            dialog.Edit_update_path->setText(QStringLiteral("http://changed.example/"));
            dialog.Port->setText(QStringLiteral("1"));
            dialog.CB_proxy->setChecked(true);
            end(dialog);
        });
        EXPECT_EQ(m_updater->settings(), before);
        EXPECT_EQ(readFile(configPath()), ini);
    }
}

TEST_F(OptionsCommandTest, OkWritesTheFileEvenWhenNothingChanged)
{
    auto window = openWindow();
    ASSERT_FALSE(std::filesystem::exists(configPath()));
    runOptions(*window, pressOk);
    ASSERT_TRUE(std::filesystem::exists(configPath()));
    EXPECT_EQ(engine::Updater(programDirectory()).settings(), m_updater->settings());
}

TEST_F(OptionsCommandTest, EverySettingEditedInTheDialogSurvivesARestart)
{
    auto window = openWindow();
    const QString dir = QString::fromStdString(m_dir.enginePath());
    runOptions(*window, [&dir](TForm_options& dialog) {
        dialog.Edit_update_path->setText(QStringLiteral("http://127.0.0.1:8080/базы/"));
        dialog.Edit_kavor_path->setText(dir + "/kavor");
        dialog.Edit_arch_path->setText(dir + "/arch");
        dialog.Edit_unpack->setText(QStringLiteral("unzip -o"));
        dialog.CB_unpack->setChecked(true);
        dialog.CB_nasty->setChecked(false);
        dialog.CB_risk->setChecked(false);
        dialog.CB_proxy->setChecked(true);
        // 中 has no CP1251 form: it is stored as "?".
        dialog.UserName->setText(QStringLiteral("Пётр 中"));
        dialog.Server->setText(QStringLiteral("proxy.example"));
        dialog.Port->setText(QStringLiteral("65535"));
        dialog.Password->setText(QStringLiteral("пароль"));
        pressOk(dialog);
    });

    engine::Settings expected;
    expected.updatepath = "http://127.0.0.1:8080/\xE1\xE0\xE7\xFB/";
    expected.kvopath = m_dir.enginePath() + "/kavor";
    expected.archpath = m_dir.enginePath() + "/arch";
    expected.unpackline = "unzip -o";
    expected.unpack = true;
    expected.nasty = false;
    expected.risk = false;
    expected.proxy = true;
    expected.proxy_username = "\xCF\xB8\xF2\xF0 ?";
    expected.proxy_server = "proxy.example";
    expected.proxy_port = 65535;
    expected.proxy_pwd = "\xEF\xE0\xF0\xEE\xEB\xFC";
    EXPECT_EQ(m_updater->settings(), expected);
    EXPECT_EQ(engine::Updater(programDirectory()).settings(), expected);
}

TEST_F(OptionsCommandTest, AnEmptyPortIsStoredAsZero)
{
    writeFile(configPath(), "[MAIN]\nproxy_port=3128\n");
    auto window = openWindow();
    runOptions(*window, [](TForm_options& dialog) {
        dialog.Port->clear();
        pressOk(dialog);
    });
    EXPECT_EQ(m_updater->settings().proxy_port, 0);
    EXPECT_EQ(engine::Updater(programDirectory()).settings().proxy_port, 0);
    runOptions(*window, [](TForm_options& dialog) {
        EXPECT_EQ(dialog.Port->text(), QStringLiteral("0"));
        pressCancel(dialog);
    });
}

TEST_F(OptionsCommandTest, APastedPortThatIsNoNumberStopsTheCommandBeforeTheSave)
{
    const std::string ini = "[MAIN]\nupdatepath=http://a.example/\nproxy_port=8080\n";
    writeFile(configPath(), ini);
    auto window = openWindow();
    QString error;
    // The error box comes once the dialog has closed.
    const auto watch = whenModal<QMessageBox>([&error](QMessageBox& box) {
        error = box.text();
        box.accept();
    });
    runOptions(*window, [](TForm_options& dialog) {
        dialog.Edit_update_path->setText(QStringLiteral("http://b.example/"));
        dialog.Port->setText(QStringLiteral("80a"));
        dialog.Password->setText(QStringLiteral("new"));
        pressOk(dialog);
    });
    EXPECT_EQ(error, QStringLiteral("'80a' is not a valid integer value"));
    const engine::Settings now = m_updater->settings();
    EXPECT_EQ(now.updatepath, "http://b.example/")
        << "fields copied before the port keep their value";
    EXPECT_EQ(now.proxy_port, 8080);
    EXPECT_EQ(now.proxy_pwd, "");
    EXPECT_EQ(readFile(configPath()), ini);
}

TEST_F(OptionsCommandTest, BrowseStartsAtTheFieldsDirectoryOrTheCurrentOneAndCancelKeepsTheField)
{
    auto window = openWindow();
    const QString existing = QString::fromStdString(m_dir.enginePath()) + "/arch";
    const QString missing = QString::fromStdString(m_dir.enginePath()) + "/no-such-dir";
    const struct
    {
        const char* button;
        const char* edit;
        QString text;
        QString expectedStart;
    } cases[] = {
        {"button_obzor", "Edit_kavor_path", existing, existing},
        {"button_obzor2", "Edit_arch_path", missing, QDir::currentPath()},
        {"button_obzor", "Edit_kavor_path", QString(), QDir::currentPath()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button + std::string(" ") + c.text.toStdString());
        runOptions(*window, [&c](TForm_options& dialog) {
            auto* edit = dialog.findChild<QLineEdit*>(c.edit);
            edit->setText(c.text);
            QString started;
            const auto watch = whenModal<TForm_select_path>([&started](TForm_select_path& chooser) {
                started = chooser.directory();
                chooser.findChild<QPushButton*>("BitBtn1")->click();
            });
            dialog.findChild<QPushButton*>(c.button)->click();
            EXPECT_EQ(started, QDir::toNativeSeparators(c.expectedStart));
            EXPECT_EQ(edit->text(), c.text);
            pressCancel(dialog);
        });
    }
}

TEST_F(OptionsCommandTest, BrowseOkPutsTheChosenDirectoryIntoItsOwnField)
{
    auto window = openWindow();
    const QString arch = QString::fromStdString(m_dir.enginePath()) + "/arch";
    runOptions(*window, [&arch](TForm_options& dialog) {
        dialog.Edit_kavor_path->setText(QStringLiteral("unchanged"));
        dialog.Edit_arch_path->setText(arch);
        const auto watch = whenModal<TForm_select_path>(
            [](TForm_select_path& chooser) { chooser.findChild<QPushButton*>("b_ok")->click(); });
        dialog.findChild<QPushButton*>("button_obzor2")->click();
        EXPECT_EQ(dialog.Edit_arch_path->text(), arch);
        EXPECT_EQ(dialog.Edit_kavor_path->text(), QStringLiteral("unchanged"));
        pressCancel(dialog);
    });
}

// The dialog on its own, without the options command.
class OptionsDialogTest : public ::testing::Test
{
protected:
    OptionsDialogTest()
    {
        m_dialog.show();
        m_dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m_dialog));
    }

    TForm_options m_dialog;
};

TEST_F(OptionsDialogTest, PortLetsOnlyDigitsInUpToFiveOfThem)
{
    QLineEdit* port = m_dialog.Port;
    EXPECT_EQ(port->text(), QStringLiteral("0"));
    port->clear();
    port->setFocus();

    QTest::keyClicks(port, QStringLiteral("a-1 Z.2+"));
    QTest::sendKeyEvent(QTest::Click, port, Qt::Key_unknown, QStringLiteral("ж"), Qt::NoModifier);
    QTest::keyClick(port, Qt::Key_3);
    EXPECT_EQ(port->text(), QStringLiteral("123"));
    QTest::keyClick(port, Qt::Key_Backspace);
    EXPECT_EQ(port->text(), QStringLiteral("12"));
    QTest::keyClicks(port, QStringLiteral("3456"));
    EXPECT_EQ(port->text(), QStringLiteral("12345")) << "the sixth digit is refused";
    // Keys that type nothing still work: the cursor moves and Delete deletes.
    QTest::keyClick(port, Qt::Key_Home);
    QTest::keyClick(port, Qt::Key_Delete);
    EXPECT_EQ(port->text(), QStringLiteral("2345"));
    QTest::keyClick(port, Qt::Key_Return);
    EXPECT_EQ(m_dialog.result(), TForm_options::kOk) << "Enter passes and presses Ok";
}

TEST_F(OptionsDialogTest, ProxyCheckBoxEnablesAndDisablesTheEightProxyControlsTogether)
{
    const char* const names[] = {"Server", "Port",   "UserName", "Password",
                                 "Label5", "Label6", "Label7",   "Label8"};
    const auto expectEnabled = [&](bool on) {
        for (const char* name : names)
            EXPECT_EQ(m_dialog.findChild<QWidget*>(name)->isEnabled(), on) << name;
        EXPECT_TRUE(m_dialog.findChild<QGroupBox*>("GroupBox1")->isEnabled());
        EXPECT_TRUE(m_dialog.CB_proxy->isEnabled());
    };
    m_dialog.CB_proxy->setChecked(false);
    m_dialog.CB_proxyClick();
    m_dialog.Server->setText(QStringLiteral("kept"));
    expectEnabled(false);
    QTest::mouseClick(m_dialog.CB_proxy, Qt::LeftButton);
    expectEnabled(true);
    QTest::mouseClick(m_dialog.CB_proxy, Qt::LeftButton);
    expectEnabled(false);
    EXPECT_EQ(m_dialog.Server->text(), QStringLiteral("kept"));
}

TEST_F(OptionsDialogTest, TextsMatchTheDesign)
{
    EXPECT_EQ(m_dialog.size(), QSize(386, 484));
    const std::pair<const char*, const char*> texts[] = {
        {"Label1", "Страница обнавления:"},
        {"Label2", "Путь к Kavor-у:"},
        {"Label3", "Путь к архивам базы:"},
        {"Label4", "Строка распаковки:"},
        {"CB_unpack", "Распаковывать архивы"},
        {"CB_nasty", "Обнавлять базы рекламных программ и программ дозвона"},
        {"CB_risk", "Обнавлять базы программ-шуток"},
        {"CB_proxy", "Proxy"},
        {"GroupBox1", "Настройка прокси"},
        {"Label7", "Сервер:"},
        {"Label5", "Порт:"},
        {"Label6", "Имя пользователя:"},
        {"Label8", "Пароль:"},
        {"button_obzor", "Обзор"},
        {"button_obzor2", "Обзор"},
        {"button_ok", "Ok"},
        {"button_cancel", "Отмена"},
    };
    for (const auto& [name, text] : texts) {
        QObject* control = m_dialog.findChild<QObject*>(name);
        ASSERT_NE(control, nullptr) << name;
        const QString shown = control->property("text").isValid()
                                  ? control->property("text").toString()
                                  : control->property("title").toString();
        EXPECT_EQ(shown, QString::fromUtf8(text)) << name;
    }
}

} // namespace
