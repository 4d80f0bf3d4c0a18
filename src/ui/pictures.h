#pragma once

#include <QIcon>
#include <QImage>

// The program's pictures, drawn at run time so the program ships no image files. Each call draws
// anew; callers keep what they need. Need a QGuiApplication.
namespace ui::pictures {

QIcon programIcon();   // a shield with a downward arrow: databases arriving
QIcon settingsImage(); // a gear
QIcon exitImage();     // an open door with an arrow leaving it
QIcon aboutImage();    // an "i" in a blue disc
QIcon okGlyph();       // a green tick
QIcon browseGlyph();   // a yellow folder

// The program icon drawn at size by size pixels, for the icon files of an installation. Needs no
// QGuiApplication.
QImage programIconImage(int size);

} // namespace ui::pictures
