#pragma once

#include <QDialog>

class QPushButton;

namespace ui {

// The about box: what the program is, its version, who maintains it, and two links (the web
// page and a mail address) opened with the desktop's default handlers. The focus is on the OK
// button whenever the box is active; Esc closes it.
class Tabout_form : public QDialog
{
    Q_OBJECT

public:
    explicit Tabout_form(QWidget* parent = nullptr);

    // Where the two links lead.
    static const char* webAddress();
    static const char* mailAddress();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPushButton* BitBtn1 = nullptr;
};

} // namespace ui
