#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QListWidget;
class QListWidgetItem;

namespace ui {

// The directory chooser: a list of drives (here the mounted file systems: the root first, then
// the user's home, then the other mount points) above a directory list that shows the path from
// the drive down to the current directory, then the current directory's subdirectories. The
// answer is the current directory, which only a double-click or Enter on an entry, a drive
// choice or setDirectory changes; a mere selection does not. Each control's objectName is its
// name (DriveComboBox1, DirectoryListBox1, b_ok, BitBtn1).
class TForm_select_path : public QDialog
{
    Q_OBJECT

public:
    // Modal results: kOk when "Ok" was pressed; anything else means cancelled.
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;

    explicit TForm_select_path(QWidget* parent = nullptr);

    // Makes path (native form) the current directory. False, changing nothing, when it names
    // no existing directory.
    bool setDirectory(const QString& path);

    // The current directory, absolute, native form, without a trailing separator unless it is
    // a root.
    QString directory() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showDirectory(const QString& path);
    void openItem(QListWidgetItem* item);
    void driveChosen(int index);

    QComboBox* DriveComboBox1 = nullptr;
    QListWidget* DirectoryListBox1 = nullptr;
    QString m_directory;
};

} // namespace ui
