#pragma once

#include <QTest>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "engine/updater.h"
#include "support/temp_dir.h"
#include "ui/form_main.h"

namespace testing_support {

// A main window whose program directory is a fresh temporary directory, so its config.ini is
// the test's own.
class MainWindowFixture : public ::testing::Test
{
protected:
    std::string programDirectory() const { return m_dir.enginePath() + "\\"; }
    std::filesystem::path configPath() const { return m_dir.path() / "config.ini"; }

    // Loads the settings, shows the window and waits until it is active (shortcuts need that).
    std::unique_ptr<ui::TForm_main> openWindow()
    {
        m_updater = std::make_shared<engine::Updater>(programDirectory());
        auto window = std::make_unique<ui::TForm_main>(m_updater);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return window;
    }

    // The control of that objectName; a test failure when there is none.
    template <typename T> static T* control(const QObject& window, const char* name)
    {
        T* found = window.findChild<T*>(QString::fromLatin1(name));
        if (!found)
            ADD_FAILURE() << "no control " << name;
        return found;
    }

    TempDir m_dir;
    std::shared_ptr<engine::Updater> m_updater;
};

} // namespace testing_support
