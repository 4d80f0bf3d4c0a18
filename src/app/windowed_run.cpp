#include "app/windowed_run.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/window_display.h"
#include "engine/updater.h"
#include "platform/program_directory.h"
#include "ui/form_main.h"

namespace app {

int windowedRun(int& argc, char** argv)
{
    if (!windowDisplayNamed()) {
        std::fputs(noDisplayMessage(), stderr);
        return kNoDisplayStatus;
    }
    const std::unique_ptr<QApplication> application = startWindowApplication(argc, argv);
    auto updater = std::make_shared<engine::Updater>(platform::programDirectory());
    ui::TForm_main window(updater);
    window.show();
    const int status = application->exec();
    if (window.workerRunning()) {
        // The stop request is set, but the worker may be waiting for a server that never
        // answers. Destroying the engine state or Qt under it would be undefined; leaving the
        // process is what the user asked for.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

} // namespace app
