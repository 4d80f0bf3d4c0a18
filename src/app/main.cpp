#include <cstdio>
#include <functional>

#include "app/command_line.h"
#include "app/error_report.h"
#include "app/silent_run.h"
#include "app/windowed_run.h"
#include "platform/os_path.h"
#include "platform/program_directory.h"

namespace {

// Prints text on standard output; exit status 0, or 1 when it could not be written.
int print(const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    switch (app::commandOf(argc, argv)) {
    case app::Command::Help:
        return print(app::usageText(
            platform::toOsPath(platform::programDirectory() + "config.ini").string()));
    case app::Command::Version:
        return print(app::versionText());
    case app::Command::Silent: {
        app::SilentErrorReporter reporter(argc, argv);
        return app::silentRun(platform::programDirectory(), std::ref(reporter));
    }
    case app::Command::Window:
        break;
    }
    return app::windowedRun(argc, argv);
}
