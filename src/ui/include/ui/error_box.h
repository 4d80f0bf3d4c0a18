#pragma once

#include <QString>

class QWidget;

namespace ui {

// Caption of the program's error boxes.
inline constexpr char kErrorCaption[] = "Kavor Updater";

// Shows message in a modal error box over parent (may be null) and waits until it is closed.
// Needs a QApplication. UI thread only.
void showErrorBox(QWidget* parent, const QString& message);

} // namespace ui
