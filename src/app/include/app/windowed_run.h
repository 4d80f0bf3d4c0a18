#pragma once

namespace app {

// The windowed run: the main window with the settings from the program directory's config.ini,
// shown until the user closes it. Returns the exit status: 0, or kNoDisplayStatus after one line
// on standard error when there is no display to show it on (window_display.h). When the window is
// closed during a run whose download may block for ever, the process ends at once without waiting
// for the worker and without tearing down what the worker still uses.
int windowedRun(int& argc, char** argv);

} // namespace app
