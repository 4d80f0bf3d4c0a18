#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

// The options dialog: one control per setting. It holds no settings and touches no file: the
// main window's options command fills the controls, runs the dialog and reads them back. Each
// control's objectName is its name. Texts typed here reach the settings as CP1251: a character
// that CP1251 cannot hold is stored as "?".
class TForm_options : public QDialog
{
    Q_OBJECT

public:
    // Modal results: kOk applies the controls; anything else (kCancel, Esc, the close button)
    // discards them.
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;

    explicit TForm_options(QWidget* parent = nullptr);

    // Enables the four proxy edits and their four labels when CB_proxy is checked, disables
    // them otherwise. Runs on every change of CB_proxy.
    void CB_proxyClick();

    QLineEdit* Edit_update_path = nullptr;
    QLineEdit* Edit_kavor_path = nullptr;
    QLineEdit* Edit_arch_path = nullptr;
    QLineEdit* Edit_unpack = nullptr; // never shown: carries unpackline through the dialog
    QCheckBox* CB_unpack = nullptr;
    QCheckBox* CB_nasty = nullptr;
    QCheckBox* CB_risk = nullptr;
    QCheckBox* CB_proxy = nullptr;
    QLineEdit* Server = nullptr;
    QLineEdit* Port = nullptr; // at most 5 characters; typing lets only digits in
    QLineEdit* UserName = nullptr;
    QLineEdit* Password = nullptr;

protected:
    // PortKeyPress: of the characters typed into Port, only digits, backspace, Enter and Esc
    // pass. Keys that type nothing (arrows, Delete, shortcuts such as paste) are not filtered.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Opens the directory chooser preset from edit's text (the current directory when that
    // names no directory) and puts the chosen directory into edit on Ok.
    void browse(QLineEdit* edit);

    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
};

} // namespace ui
