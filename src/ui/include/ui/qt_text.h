#pragma once

#include <QString>
#include <string>
#include <string_view>

// The boundary between the engine's CP1251 texts and Qt's Unicode strings.
namespace ui {

// An engine text (CP1251) for display.
QString fromEngine(std::string_view cp1251);

// What the user typed, as an engine text. A character that CP1251 cannot hold becomes "?"; the
// settings keep the text in that form, so it is what config.ini and the HTTP client see.
std::string toEngine(const QString& text);

// An engine path (CP1251, "\" between names) the way the user expects to read a path here:
// on systems whose separator is "/", every "\" is shown as "/". The engine accepts both forms.
QString displayPath(std::string_view enginePath);

} // namespace ui
