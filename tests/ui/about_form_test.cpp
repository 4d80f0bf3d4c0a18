#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include "engine/updater.h"
#include "qt_test_support.h"
#include "support/temp_dir.h"
#include "ui/about_form.h"
#include "ui/form_main.h"

using testing_support::whenModal;
using ui::Tabout_form;

namespace {

// Stands in for the desktop's browser and mail program.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

TEST(AboutBoxTest, OpensFromTheMenuWithTheFocusOnOkAndEscClosesIt)
{
    testing_support::TempDir dir;
    ui::TForm_main window(std::make_shared<engine::Updater>(dir.enginePath() + "\\"));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    bool opened = false;
    const auto watch = whenModal<Tabout_form>([&opened](Tabout_form& box) {
        opened = true;
        EXPECT_EQ(box.windowTitle(), QStringLiteral("О программе"));
        EXPECT_EQ(box.findChild<QLabel*>("Label1")->text(),
                  QStringLiteral("Программа обновления антивирусных баз для антивируса Kavor"));
        EXPECT_TRUE(
            box.findChild<QLabel*>("Label4")->text().startsWith(QStringLiteral("Версия: ")));
        EXPECT_TRUE(box.findChild<QLabel*>("Label3")->text().startsWith(QStringLiteral("Автор: ")));
        EXPECT_TRUE(
            QTest::qWaitFor([&box] { return box.findChild<QPushButton*>("BitBtn1")->hasFocus(); }));
        QTest::keyClick(box.findChild<QPushButton*>("BitBtn1"), Qt::Key_Escape);
    });
    window.findChild<QAction*>("N7")->trigger();
    EXPECT_TRUE(opened);
}

TEST(AboutBoxTest, TheTwoLinksOpenTheWebPageAndANewMail)
{
    UrlRecorder desktop;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &desktop, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &desktop, "open");
    Tabout_form box;
    box.show();
    QTest::mouseClick(box.findChild<QLabel*>("Label6"), Qt::LeftButton);
    QTest::mouseClick(box.findChild<QLabel*>("Label5"), Qt::LeftButton);
    QTest::mouseClick(box.findChild<QLabel*>("Label3"), Qt::LeftButton); // not a link
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));

    ASSERT_EQ(desktop.opened.size(), 2);
    EXPECT_EQ(desktop.opened.at(0), QUrl(QString::fromLatin1(Tabout_form::webAddress())));
    EXPECT_EQ(desktop.opened.at(1),
              QUrl(QStringLiteral("mailto:") + QString::fromLatin1(Tabout_form::mailAddress())));
    EXPECT_TRUE(box.findChild<QLabel*>("Label6")->text().contains(Tabout_form::webAddress()));
    EXPECT_TRUE(box.findChild<QLabel*>("Label5")->text().contains(Tabout_form::mailAddress()));
    EXPECT_TRUE(desktop.opened.at(0).host().endsWith(QStringLiteral(".example")));
    EXPECT_TRUE(box.isVisible()) << "a link leaves the box open";
}

} // namespace

#include "about_form_test.moc"
