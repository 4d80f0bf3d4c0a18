#pragma once

#include <memory>

class QApplication;

namespace app {

// The exit status of a windowed start that finds no display.
constexpr int kNoDisplayStatus = 1;

// Whether the window has somewhere to open, from the values of QT_QPA_PLATFORM, DISPLAY and
// WAYLAND_DISPLAY (null or empty: unset): a platform named outright is Qt's to try; otherwise
// an X or Wayland display must be named.
bool windowDisplayNamed(const char* qtPlatform, const char* display, const char* waylandDisplay);

// As above, from this process's environment.
bool windowDisplayNamed();

// The one line, for standard error, that says the window has no display and points at -U.
const char* noDisplayMessage();

// Qt for the window. Qt ends a process whose display it cannot reach (or whose platform plugin
// will not load) with abort() and a core dump; while this starts Qt, that end becomes
// noDisplayMessage() on standard error and exit status kNoDisplayStatus instead. Qt's other
// messages pass through as they are. Main thread only, before any other QApplication.
std::unique_ptr<QApplication> startWindowApplication(int& argc, char** argv);

} // namespace app
