#pragma once

#include <QWidget>
#include <algorithm>

// Placement helpers shared by the program's fixed-layout windows.
namespace ui {

// Sets the widget's objectName and returns it, so a control is named where it is created.
template <typename Widget> Widget* named(Widget* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Places a widget at its designed position and size. The layout was drawn for a narrower
// font than this platform may have: a text control is widened, never narrowed, to show its
// whole text.
inline void place(QWidget* widget, int left, int top, int width, int height)
{
    const QSize hint = widget->sizeHint();
    widget->setGeometry(left, top, std::max(width, hint.width()), std::max(height, hint.height()));
}

// A dialog with a fixed border and only the system menu and close buttons in its caption.
inline Qt::WindowFlags fixedDialogFlags()
{
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint;
}

// The pixel height every window's font has; the designed layout is measured in pixels.
inline constexpr int kFontPixelSize = 11;

// Sets the window font: the platform's default family at the designed pixel height.
inline void setWindowFont(QWidget* window)
{
    QFont font = window->font();
    font.setPixelSize(kFontPixelSize);
    window->setFont(font);
}

} // namespace ui
