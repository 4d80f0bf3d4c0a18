#include "ui/about_form.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "pictures.h"
#include "widget_geometry.h"

namespace ui {
namespace {

constexpr int kBoxWidth = 314;

// A label that reads as a link: hand cursor and the desktop's link colour.
QLabel* linkLabel(const QString& text, QWidget* parent, const char* name)
{
    auto* label = named(new QLabel(text, parent), name);
    label->setCursor(Qt::PointingHandCursor);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
    label->setPalette(palette);
    return label;
}

// A centred line keeps its centre when the platform's font makes it wider than designed.
void placeCentred(QLabel* label, int left, int top, int width, int height)
{
    place(label, left, top, width, height);
    label->move(left + width / 2 - label->width() / 2, top);
}

} // namespace

const char* Tabout_form::webAddress()
{
    return "http://kavor.example/updater/";
}

const char* Tabout_form::mailAddress()
{
    return "updater@kavor.example";
}

Tabout_form::Tabout_form(QWidget* parent) : QDialog(parent, fixedDialogFlags())
{
    setObjectName(QStringLiteral("about_form"));
    setWindowTitle(QStringLiteral("О программе"));
    setWindowFont(this);
    setFixedSize(kBoxWidth, 187);

    auto* Label1 = named(
        new QLabel(QStringLiteral("Программа обновления антивирусных баз для антивируса Kavor"),
                   this),
        "Label1");
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    Label1->setGeometry(32, 8, 255, std::max(26, Label1->heightForWidth(255)));

    placeCentred(named(new QLabel(QStringLiteral("kavor.example, 2026"), this), "Label2"), 106, 43,
                 88, 13);
    placeCentred(named(new QLabel(QStringLiteral("Версия: ") + QStringLiteral(KAVOR_VERSION), this),
                       "Label4"),
                 112, 56, 71, 13);
    // FormCreate sets the author line.
    auto* Label3 = named(new QLabel(this), "Label3");
    Label3->setText(QStringLiteral("Автор: разработчики Kavor Updater"));
    place(Label3, 24, 75, 196, 13);
    place(named(new QLabel(QStringLiteral("FIDO: нет"), this), "Label7"), 24, 94, 104, 13);
    QLabel* Label6 = linkLabel(QString::fromLatin1(webAddress()), this, "Label6");
    place(Label6, 24, 110, 110, 13);
    QLabel* Label5 =
        linkLabel(QStringLiteral("E-mail: ") + QString::fromLatin1(mailAddress()), this, "Label5");
    place(Label5, 24, 126, 108, 13);
    Label6->installEventFilter(this);
    Label5->installEventFilter(this);

    auto* Panel1 = named(new QFrame(this), "Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(117, 150, 79, 29);
    BitBtn1 = named(new QPushButton(pictures::okGlyph(), QStringLiteral("OK"), Panel1), "BitBtn1");
    BitBtn1->setGeometry(2, 2, 75, 25);
    BitBtn1->setDefault(true);
    BitBtn1->installEventFilter(this);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
}

bool Tabout_form::event(QEvent* event)
{
    // FormActivate: whenever the box becomes active, OK has the focus.
    if (event->type() == QEvent::WindowActivate)
        BitBtn1->setFocus();
    return QDialog::event(event);
}

bool Tabout_form::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        // The shell's answer is not looked at: without a browser or mail program nothing
        // happens and the box stays open.
        if (watched->objectName() == QLatin1String("Label6"))
            QDesktopServices::openUrl(QUrl(QString::fromLatin1(webAddress())));
        else if (watched->objectName() == QLatin1String("Label5"))
            QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + mailAddress()));
    } else if (watched == BitBtn1 && event->type() == QEvent::KeyPress &&
               static_cast<const QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace ui
