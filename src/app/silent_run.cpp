#include "app/silent_run.h"

#include <exception>
#include <optional>

#include "engine/updater.h"
#include "platform/code_page.h"

namespace app {
namespace {

// The silent run has no window: its log goes nowhere.
class DiscardingSink final : public engine::UpdateSink
{
public:
    void clearLog() override {}
    void appendLine(std::string_view) override {}
    void setUpdateControls(bool) override {}
};

} // namespace

int silentRun(const std::string& programDirectory, const ErrorReport& report)
{
    std::optional<std::string> runError;
    {
        engine::Updater updater(programDirectory);
        if (const auto& loadError = updater.settingsLoadError())
            report(platform::cp1251ToUtf8(*loadError));
        DiscardingSink sink;
        try {
            updater.runUpdate(sink);
        } catch (const std::exception& error) {
            runError = platform::cp1251ToUtf8(error.what());
        }
    }
    // Reported once the engine state is gone, as the window object is destroyed before the box.
    if (!runError)
        return 0;
    report(*runError);
    return 1;
}

} // namespace app
