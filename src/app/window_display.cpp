#include "app/window_display.h"

#include <QApplication>
#include <QtGlobal>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace app {
namespace {

bool isSet(const char* value)
{
    return value && *value;
}

// The handler that was in place before startWindowApplication; Qt's handlers are process-wide.
std::atomic<QtMessageHandler> g_previousHandler{nullptr};

void endOnFatalMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        if (const QtMessageHandler previous = g_previousHandler.load())
            previous(type, context, message);
        return;
    }
    std::fputs(noDisplayMessage(), stderr);
    std::fflush(nullptr);
    // Qt is half started: nothing of it may be torn down, so leave at once.
    ::_exit(kNoDisplayStatus);
}

} // namespace

bool windowDisplayNamed(const char* qtPlatform, const char* display, const char* waylandDisplay)
{
    return isSet(qtPlatform) || isSet(display) || isSet(waylandDisplay);
}

bool windowDisplayNamed()
{
    return windowDisplayNamed(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                              std::getenv("WAYLAND_DISPLAY"));
}

const char* noDisplayMessage()
{
    return "kavor-updater: нет дисплея, окно не открыть; обновление без окна: kavor-updater -U\n";
}

std::unique_ptr<QApplication> startWindowApplication(int& argc, char** argv)
{
    g_previousHandler.store(qInstallMessageHandler(endOnFatalMessage));
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(g_previousHandler.load());
    return application;
}

} // namespace app
