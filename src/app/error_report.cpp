#include "app/error_report.h"

#include <QApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "ui/error_box.h"

namespace app {
namespace {

bool isSet(const char* value)
{
    return value && *value;
}

} // namespace

bool displayAvailable(const char* qtPlatform, const char* display, const char* waylandDisplay)
{
    if (isSet(qtPlatform)) {
        // The first platform of a list is the one Qt tries; "name:options" carries options.
        std::string_view platform = qtPlatform;
        platform = platform.substr(0, platform.find_first_of(";:"));
        return platform != "offscreen" && platform != "minimal";
    }
    return isSet(display) || isSet(waylandDisplay);
}

bool displayAvailable()
{
    return displayAvailable(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                            std::getenv("WAYLAND_DISPLAY"));
}

SilentErrorReporter::SilentErrorReporter(int& argc, char** argv) : m_argc(argc), m_argv(argv) {}

SilentErrorReporter::~SilentErrorReporter() = default;

void SilentErrorReporter::operator()(const std::string& utf8Message)
{
    std::fprintf(stderr, "kavor-updater: %s\n", utf8Message.c_str());
    std::fflush(stderr);
    if (!displayAvailable())
        return;
    if (!m_application)
        m_application = std::make_unique<QApplication>(m_argc, m_argv);
    ui::showErrorBox(nullptr, QString::fromStdString(utf8Message));
}

} // namespace app
