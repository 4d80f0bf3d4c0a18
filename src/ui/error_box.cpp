#include "ui/error_box.h"

#include <QMessageBox>

namespace ui {

void showErrorBox(QWidget* parent, const QString& message)
{
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kErrorCaption), message,
                    QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

} // namespace ui
