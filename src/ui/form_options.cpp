#include "ui/form_options.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "pictures.h"
#include "ui/form_select_path.h"
#include "widget_geometry.h"

namespace ui {
namespace {

constexpr int kPortMaxLength = 5;
constexpr int kCaptionPixelSize = 13; // the labels above the edit fields

QLabel* captionLabel(const QString& text, QWidget* parent, const char* name)
{
    auto* label = named(new QLabel(text, parent), name);
    QFont font = label->font();
    font.setPixelSize(kCaptionPixelSize);
    label->setFont(font);
    return label;
}

QLabel* boldLabel(const QString& text, QWidget* parent, const char* name)
{
    auto* label = named(new QLabel(text, parent), name);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

TForm_options::TForm_options(QWidget* parent) : QDialog(parent, fixedDialogFlags())
{
    setObjectName(QStringLiteral("Form_options"));
    setWindowTitle(QStringLiteral("Настройки"));
    setWindowIcon(pictures::settingsImage());
    setWindowFont(this);
    setFixedSize(386, 484);

    auto* button_ok =
        named(new QPushButton(pictures::okGlyph(), QStringLiteral("Ok"), this), "button_ok");
    auto* button_cancel = named(new QPushButton(QStringLiteral("Отмена"), this), "button_cancel");

    place(captionLabel(QStringLiteral("Страница обнавления:"), this, "Label1"), 3, 6, 149, 16);
    Edit_update_path = named(new QLineEdit(this), "Edit_update_path");
    Edit_update_path->setGeometry(3, 26, 380, 21);

    place(captionLabel(QStringLiteral("Путь к Kavor-у:"), this, "Label2"), 4, 53, 103, 16);
    Edit_kavor_path = named(new QLineEdit(this), "Edit_kavor_path");
    Edit_kavor_path->setGeometry(4, 75, 305, 21);
    auto* button_obzor = named(
        new QPushButton(pictures::browseGlyph(), QStringLiteral("Обзор"), this), "button_obzor");
    button_obzor->setGeometry(312, 72, 75, 25);

    place(captionLabel(QStringLiteral("Путь к архивам базы:"), this, "Label3"), 4, 102, 139, 16);
    Edit_arch_path = named(new QLineEdit(this), "Edit_arch_path");
    Edit_arch_path->setGeometry(4, 128, 305, 21);
    auto* button_obzor2 = named(
        new QPushButton(pictures::browseGlyph(), QStringLiteral("Обзор"), this), "button_obzor2");
    button_obzor2->setGeometry(312, 125, 75, 25);

    QLabel* Label4 = captionLabel(QStringLiteral("Строка распаковки:"), this, "Label4");
    place(Label4, 4, 155, 130, 16);
    Label4->setVisible(false);
    Edit_unpack = named(new QLineEdit(this), "Edit_unpack");
    Edit_unpack->setGeometry(4, 176, 380, 21);
    Edit_unpack->setVisible(false);

    CB_unpack = named(new QCheckBox(QStringLiteral("Распаковывать архивы"), this), "CB_unpack");
    place(CB_unpack, 4, 207, 209, 17);
    CB_nasty = named(
        new QCheckBox(QStringLiteral("Обнавлять базы рекламных программ и программ дозвона"), this),
        "CB_nasty");
    place(CB_nasty, 4, 236, 355, 17);
    CB_risk =
        named(new QCheckBox(QStringLiteral("Обнавлять базы программ-шуток"), this), "CB_risk");
    place(CB_risk, 4, 264, 349, 17);
    CB_proxy = named(new QCheckBox(QStringLiteral("Proxy"), this), "CB_proxy");
    place(CB_proxy, 4, 289, 97, 17);

    auto* GroupBox1 = named(new QGroupBox(QStringLiteral("Настройка прокси"), this), "GroupBox1");
    GroupBox1->setGeometry(23, 311, 341, 134);
    Label7 = boldLabel(QStringLiteral("Сервер:"), GroupBox1, "Label7");
    place(Label7, 8, 25, 48, 13);
    Server = named(new QLineEdit(GroupBox1), "Server");
    Label5 = boldLabel(QStringLiteral("Порт:"), GroupBox1, "Label5");
    place(Label5, 8, 52, 34, 13);
    Port = named(new QLineEdit(QStringLiteral("0"), GroupBox1), "Port");
    Port->setMaxLength(kPortMaxLength);
    Port->installEventFilter(this);
    Label6 = boldLabel(QStringLiteral("Имя пользователя:"), GroupBox1, "Label6");
    place(Label6, 8, 77, 117, 13);
    UserName = named(new QLineEdit(GroupBox1), "UserName");
    Label8 = boldLabel(QStringLiteral("Пароль:"), GroupBox1, "Label8");
    place(Label8, 8, 103, 49, 13);
    Password = named(new QLineEdit(GroupBox1), "Password");
    Password->setEchoMode(QLineEdit::Password);
    Password->setStyleSheet(QStringLiteral("lineedit-password-character: 88")); // "X"

    // The edits start right of the widest label, and give up width rather than leave the box
    // when this platform's bold font is wider than the one the layout was drawn for.
    int labelsRight = 0;
    for (const QLabel* label : {Label5, Label6, Label7, Label8})
        labelsRight = std::max(labelsRight, label->geometry().right());
    const int editLeft = std::max(128, labelsRight + 6);
    const int editWidth = std::min(200, GroupBox1->width() - editLeft - 13);
    Server->setGeometry(editLeft, 22, editWidth, 21);
    Port->setGeometry(editLeft, 48, editWidth, 21);
    UserName->setGeometry(editLeft, 72, editWidth, 21);
    Password->setGeometry(editLeft, 96, editWidth, 21);

    button_ok->setGeometry(26, 452, 137, 25);
    button_ok->setDefault(true);
    button_cancel->setGeometry(221, 452, 137, 25);

    connect(button_ok, &QPushButton::clicked, this, [this] { done(kOk); });
    connect(button_cancel, &QPushButton::clicked, this, [this] { done(kCancel); });
    connect(button_obzor, &QPushButton::clicked, this, [this] { browse(Edit_kavor_path); });
    connect(button_obzor2, &QPushButton::clicked, this, [this] { browse(Edit_arch_path); });
    connect(CB_proxy, &QCheckBox::toggled, this, &TForm_options::CB_proxyClick);

    // The designed tab order: the two buttons first, the proxy edits in the order server, user
    // name, port, password, and the proxy check box last.
    const QWidget* order[] = {button_ok,    button_cancel,  Edit_update_path, Edit_kavor_path,
                              button_obzor, Edit_arch_path, button_obzor2,    Edit_unpack,
                              CB_unpack,    CB_nasty,       CB_risk,          Server,
                              UserName,     Port,           Password,         CB_proxy};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
    button_ok->setFocus();
    // Centred on the desktop, like the main window, rather than over its owner.
    if (const QScreen* desktop = screen())
        move(desktop->availableGeometry().center() - rect().center());
}

void TForm_options::CB_proxyClick()
{
    const bool on = CB_proxy->isChecked();
    for (QWidget* control : {static_cast<QWidget*>(Password), static_cast<QWidget*>(UserName),
                             static_cast<QWidget*>(Port), static_cast<QWidget*>(Server),
                             static_cast<QWidget*>(Label5), static_cast<QWidget*>(Label6),
                             static_cast<QWidget*>(Label7), static_cast<QWidget*>(Label8)})
        control->setEnabled(on);
}

bool TForm_options::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != Port || event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto* key = static_cast<const QKeyEvent*>(event);
    const QString typed = key->text();
    // Backspace, Enter and Esc type control characters, which pass like every key that types
    // nothing printable; of the printable characters only digits get in.
    const bool printable = typed.size() == 1 && typed.at(0).isPrint();
    const bool digit =
        printable && typed.at(0) >= QLatin1Char('0') && typed.at(0) <= QLatin1Char('9');
    return printable && !digit;
}

void TForm_options::browse(QLineEdit* edit)
{
    TForm_select_path chooser(this);
    if (!chooser.setDirectory(edit->text()))
        chooser.setDirectory(QDir::currentPath());
    if (chooser.exec() == TForm_select_path::kOk)
        edit->setText(chooser.directory());
}

} // namespace ui
