#pragma once

#include <memory>
#include <string>

class QApplication;

namespace app {

// Whether an error box can be shown, from the values of QT_QPA_PLATFORM, DISPLAY and
// WAYLAND_DISPLAY (null or empty: unset). The offscreen and minimal platforms show nothing, and
// a box there would wait for ever, so they count as no display.
bool displayAvailable(const char* qtPlatform, const char* display, const char* waylandDisplay);

// As above, from this process's environment.
bool displayAvailable();

// Reports the silent run's errors: always on standard error, one line each, and also in an
// error box that waits to be closed when a display is available. Qt is started only for the
// first box, so a run without errors, or without a display, never needs it. Main thread only.
class SilentErrorReporter
{
public:
    // argc and argv are handed to Qt and must outlive the reporter.
    SilentErrorReporter(int& argc, char** argv);
    ~SilentErrorReporter();
    SilentErrorReporter(const SilentErrorReporter&) = delete;
    SilentErrorReporter& operator=(const SilentErrorReporter&) = delete;

    void operator()(const std::string& utf8Message);

private:
    int& m_argc;
    char** m_argv;
    std::unique_ptr<QApplication> m_application;
};

} // namespace app
