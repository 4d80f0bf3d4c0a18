#include <functional>

#include "app/error_report.h"
#include "app/run_mode.h"
#include "app/silent_run.h"
#include "app/windowed_run.h"
#include "platform/program_directory.h"

int main(int argc, char** argv)
{
    if (app::isSilentRun(argc, argv)) {
        app::SilentErrorReporter reporter(argc, argv);
        return app::silentRun(platform::programDirectory(), std::ref(reporter));
    }
    return app::windowedRun(argc, argv);
}
