#include "ui/form_select_path.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyledItemDelegate>

#include "pictures.h"
#include "widget_geometry.h"

namespace ui {
namespace {

constexpr int kPathRole = Qt::UserRole;      // the entry's absolute path, "/" separators
constexpr int kDepthRole = Qt::UserRole + 1; // how far the entry is indented
constexpr int kIndent = 10;
constexpr int kItemHeight = 16;

// Indents each directory entry by its depth, so the path from the drive down reads as a tree.
class IndentDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyleOptionViewItem indented(option);
        indented.rect.setLeft(option.rect.left() + indent(index));
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QSize size = QStyledItemDelegate::sizeHint(option, index);
        return {size.width() + indent(index), kItemHeight};
    }

private:
    static int indent(const QModelIndex& index) { return index.data(kDepthRole).toInt() * kIndent; }
};

bool contains(const QString& directory, const QString& path)
{
    if (path == directory)
        return true;
    const QString prefix = directory.endsWith(QLatin1Char('/')) ? directory : directory + '/';
    return path.startsWith(prefix);
}

// The "drives" of this system: the root first, then the user's home, then the other mounted
// file systems that are directories, each once.
QStringList drives()
{
    QStringList result;
    const auto add = [&result](const QString& path) {
        const QString clean = QDir::cleanPath(path);
        if (!clean.isEmpty() && !result.contains(clean) && QFileInfo(clean).isDir())
            result << clean;
    };
    for (const QFileInfo& root : QDir::drives())
        add(root.absoluteFilePath());
    add(QDir::homePath());
    QStringList mounts;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady())
            mounts << volume.rootPath();
    }
    mounts.sort();
    for (const QString& mount : mounts)
        add(mount);
    return result;
}

} // namespace

TForm_select_path::TForm_select_path(QWidget* parent) : QDialog(parent, fixedDialogFlags())
{
    setObjectName(QStringLiteral("Form_select_path"));
    setWindowTitle(QStringLiteral("Выбор директории"));
    setWindowFont(this);
    setFixedSize(245, 326);

    DriveComboBox1 = named(new QComboBox(this), "DriveComboBox1");
    DriveComboBox1->setGeometry(0, 16, 245, 19);
    const QIcon driveIcon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const QString& drive : drives())
        DriveComboBox1->addItem(driveIcon, QDir::toNativeSeparators(drive), drive);

    DirectoryListBox1 = named(new QListWidget(this), "DirectoryListBox1");
    DirectoryListBox1->setGeometry(0, 40, 244, 249);
    DirectoryListBox1->setItemDelegate(new IndentDelegate(DirectoryListBox1));
    DirectoryListBox1->setUniformItemSizes(true);
    DirectoryListBox1->installEventFilter(this);

    auto* b_ok = named(new QPushButton(pictures::okGlyph(), QStringLiteral("Ok"), this), "b_ok");
    b_ok->setGeometry(8, 296, 97, 25);
    auto* BitBtn1 = named(new QPushButton(QStringLiteral("Отмена"), this), "BitBtn1");
    BitBtn1->setGeometry(136, 296, 97, 25);
    // Enter belongs to the directory list, where it opens an entry.
    b_ok->setAutoDefault(false);
    BitBtn1->setAutoDefault(false);

    connect(b_ok, &QPushButton::clicked, this, [this] { done(kOk); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(kCancel); });
    connect(DirectoryListBox1, &QListWidget::itemDoubleClicked, this, &TForm_select_path::openItem);
    connect(DriveComboBox1, &QComboBox::activated, this, &TForm_select_path::driveChosen);

    setTabOrder(DriveComboBox1, DirectoryListBox1);
    setTabOrder(DirectoryListBox1, b_ok);
    setTabOrder(b_ok, BitBtn1);
    showDirectory(QDir::currentPath());
}

bool TForm_select_path::setDirectory(const QString& path)
{
    const QFileInfo info(QDir::fromNativeSeparators(path));
    if (path.isEmpty() || !info.isDir())
        return false;
    showDirectory(info.absoluteFilePath());
    return true;
}

QString TForm_select_path::directory() const
{
    return QDir::toNativeSeparators(m_directory);
}

void TForm_select_path::showDirectory(const QString& path)
{
    m_directory = QDir::cleanPath(path);

    // The drive is the longest listed one that holds the directory.
    int driveIndex = -1;
    qsizetype driveLength = -1;
    for (int i = 0; i < DriveComboBox1->count(); ++i) {
        const QString drive = DriveComboBox1->itemData(i).toString();
        if (contains(drive, m_directory) && drive.size() > driveLength) {
            driveIndex = i;
            driveLength = drive.size();
        }
    }
    const QSignalBlocker quiet(DriveComboBox1);
    DriveComboBox1->setCurrentIndex(driveIndex);
    const QString drive =
        driveIndex >= 0 ? DriveComboBox1->itemData(driveIndex).toString() : QDir::rootPath();

    DirectoryListBox1->clear();
    const QIcon openFolder = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedFolder = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const auto addEntry = [this](const QIcon& icon, const QString& text, const QString& entryPath,
                                 int depth) {
        auto* item = new QListWidgetItem(icon, text, DirectoryListBox1);
        item->setData(kPathRole, entryPath);
        item->setData(kDepthRole, depth);
        return item;
    };

    QListWidgetItem* current = addEntry(openFolder, QDir::toNativeSeparators(drive), drive, 0);
    QString walked = drive;
    int depth = 0;
    const QString below = m_directory.mid(drive.size());
    for (const QString& name : below.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        walked = walked.endsWith(QLatin1Char('/')) ? walked + name : walked + '/' + name;
        current = addEntry(openFolder, name, walked, ++depth);
    }
    const QDir directory(m_directory);
    for (const QString& name :
         directory.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase))
        addEntry(closedFolder, name, directory.filePath(name), depth + 1);
    DirectoryListBox1->setCurrentItem(current);
}

void TForm_select_path::openItem(QListWidgetItem* item)
{
    if (!item)
        return;
    // The list is rebuilt once the view has finished with the click or key that opened the
    // entry: rebuilding under its feet leaves it deaf to the next double-click.
    QMetaObject::invokeMethod(
        this, [this, path = item->data(kPathRole).toString()] { showDirectory(path); },
        Qt::QueuedConnection);
}

void TForm_select_path::driveChosen(int index)
{
    showDirectory(DriveComboBox1->itemData(index).toString());
}

bool TForm_select_path::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == DirectoryListBox1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<const QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            openItem(DirectoryListBox1->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace ui
