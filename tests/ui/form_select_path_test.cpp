#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include <gtest/gtest.h>

#include "qt_test_support.h"
#include "support/temp_dir.h"
#include "ui/form_select_path.h"

using testing_support::TempDir;
using ui::TForm_select_path;

namespace {

class DirectoryChooserTest : public ::testing::Test
{
protected:
    DirectoryChooserTest()
        : m_root(QString::fromStdString(m_dir.enginePath())),
          m_list(m_chooser.findChild<QListWidget*>("DirectoryListBox1")),
          m_drives(m_chooser.findChild<QComboBox*>("DriveComboBox1"))
    {
        for (const char* sub : {"alpha", "beta", "beta/inner", ".hidden"})
            std::filesystem::create_directories(m_dir.path() / sub);
        m_chooser.show();
        m_chooser.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m_chooser));
        EXPECT_TRUE(m_chooser.setDirectory(m_root));
    }

    QListWidgetItem* entry(const QString& text) const
    {
        const auto found = m_list->findItems(text, Qt::MatchExactly);
        if (found.size() != 1)
            ADD_FAILURE() << "no single entry " << text.toStdString();
        return found.value(0);
    }

    QStringList entries() const
    {
        QStringList texts;
        for (int i = 0; i < m_list->count(); ++i)
            texts << m_list->item(i)->text();
        return texts;
    }

    void doubleClick(QListWidgetItem* item)
    {
        // Qt Test's clock runs on its own: without a plain click between them, two double
        // clicks in a row are taken for one long burst and the second is lost.
        const QPoint centre = m_list->visualItemRect(item).center();
        QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(m_list->viewport(), Qt::LeftButton, {}, centre);
        QCoreApplication::processEvents();
    }

    TempDir m_dir;
    QString m_root;
    TForm_select_path m_chooser;
    QListWidget* m_list;
    QComboBox* m_drives;
};

TEST_F(DirectoryChooserTest, ListsThePathDownToTheCurrentDirectoryThenItsSubdirectories)
{
    EXPECT_EQ(m_chooser.windowTitle(), QStringLiteral("Выбор директории"));
    EXPECT_EQ(m_chooser.directory(), QDir::toNativeSeparators(m_root));
    QStringList expected = {QStringLiteral("/")};
    expected << m_root.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    expected << QStringLiteral("alpha") << QStringLiteral("beta"); // hidden ones are not offered
    EXPECT_EQ(entries(), expected);
    EXPECT_EQ(m_list->currentItem()->text(), expected.at(expected.size() - 3));
    EXPECT_EQ(m_drives->currentText(), QStringLiteral("/"));
}

TEST_F(DirectoryChooserTest, OnlyAnOpenedEntryChangesTheAnswer)
{
    // A click or the arrow keys select, but do not open.
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {},
                      m_list->visualItemRect(entry(QStringLiteral("beta"))).center());
    QTest::keyClick(m_list, Qt::Key_Up);
    EXPECT_EQ(m_chooser.directory(), QDir::toNativeSeparators(m_root));

    doubleClick(entry(QStringLiteral("beta")));
    EXPECT_EQ(m_chooser.directory(), QDir::toNativeSeparators(m_root + "/beta"));
    EXPECT_TRUE(entries().endsWith(QStringLiteral("inner")));

    m_list->setCurrentItem(entry(QStringLiteral("inner")));
    QTest::keyClick(m_list, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_chooser.directory(), QDir::toNativeSeparators(m_root + "/beta/inner"));
    EXPECT_TRUE(m_chooser.isVisible()) << "Enter opens the entry, it does not end the dialog";

    // An entry of the path above leads back up.
    doubleClick(entry(QStringLiteral("/")));
    EXPECT_EQ(m_chooser.directory(), QDir::toNativeSeparators(QDir::rootPath()));

    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {},
                      m_list->visualItemRect(m_list->item(1)).center());
    m_chooser.findChild<QPushButton*>("b_ok")->click();
    EXPECT_EQ(m_chooser.result(), TForm_select_path::kOk);
    EXPECT_EQ(m_chooser.directory(), QDir::toNativeSeparators(QDir::rootPath()));
}

TEST_F(DirectoryChooserTest, APresetThatNamesNoDirectoryChangesNothing)
{
    const QString file = m_root + "/file.txt";
    testing_support::writeFile(m_dir.path() / "file.txt", "x");
    for (const QString& path : {QString(), m_root + "/missing", file}) {
        EXPECT_FALSE(m_chooser.setDirectory(path)) << path.toStdString();
        EXPECT_EQ(m_chooser.directory(), QDir::toNativeSeparators(m_root));
    }
}

TEST_F(DirectoryChooserTest, DrivesAreTheRootThenHomeThenOtherMountsAndChoosingOneMovesThere)
{
    ASSERT_GE(m_drives->count(), 1);
    EXPECT_EQ(m_drives->itemText(0), QDir::toNativeSeparators(QDir::rootPath()));
    if (QDir::homePath() != QDir::rootPath()) {
        EXPECT_EQ(m_drives->itemText(1), QDir::toNativeSeparators(QDir::homePath()));
    }
    for (int i = 0; i < m_drives->count(); ++i)
        EXPECT_TRUE(QFileInfo(m_drives->itemText(i)).isDir())
            << m_drives->itemText(i).toStdString();

    const int last = m_drives->count() - 1;
    m_drives->setFocus();
    m_drives->setCurrentIndex(last);
    emit m_drives->activated(last);
    EXPECT_EQ(m_chooser.directory(), m_drives->itemText(last));
    EXPECT_EQ(m_list->item(0)->text(), m_drives->itemText(last)) << "the list starts at the drive";
}

TEST_F(DirectoryChooserTest, CancelAndEscEndWithoutOk)
{
    m_chooser.findChild<QPushButton*>("BitBtn1")->click();
    EXPECT_NE(m_chooser.result(), TForm_select_path::kOk);
    m_chooser.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_chooser));
    m_chooser.setResult(TForm_select_path::kOk);
    QTest::keyClick(&m_chooser, Qt::Key_Escape);
    EXPECT_FALSE(m_chooser.isVisible());
    EXPECT_NE(m_chooser.result(), TForm_select_path::kOk);
}

} // namespace
