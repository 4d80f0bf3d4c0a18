#include "app/silent_run.h"

#include <exception>
#include <optional>

#include "engine/updater.h"
#include "platform/code_page.h"

namespace app {
namespace {

// The silent run has no window: its log goes to a stream, a line at a time, so that cron's
// mail or the journal holds whatever part of the run took place.
class StreamSink final : public engine::UpdateSink
{
public:
    explicit StreamSink(std::FILE* stream) : m_stream(stream) {}
    void clearLog() override {}
    void appendLine(std::string_view cp1251Line) override
    {
        const std::string line = platform::cp1251ToUtf8(cp1251Line) + "\n";
        std::fwrite(line.data(), 1, line.size(), m_stream);
        std::fflush(m_stream);
    }
    void setUpdateControls(bool) override {}

private:
    std::FILE* m_stream;
};

int exitStatusOf(engine::RunOutcome outcome)
{
    switch (outcome) {
    case engine::RunOutcome::Updated:
        return kExitUpdated;
    case engine::RunOutcome::PageFailed:
        return kExitPageFailed;
    case engine::RunOutcome::AlreadyRunning:
        return kExitAlreadyRunning;
    case engine::RunOutcome::FilesFailed:
    case engine::RunOutcome::Stopped: // no stop request reaches the silent run
        break;
    }
    return kExitFilesFailed;
}

} // namespace

int silentRun(const std::string& programDirectory, const ErrorReport& report, std::FILE* log)
{
    std::optional<std::string> runError;
    engine::RunOutcome outcome{};
    {
        engine::Updater updater(programDirectory);
        if (const auto& loadError = updater.settingsLoadError())
            report(platform::cp1251ToUtf8(*loadError));
        StreamSink sink(log);
        try {
            outcome = updater.runUpdate(sink);
        } catch (const std::exception& error) {
            runError = platform::cp1251ToUtf8(error.what());
        }
    }
    // Reported once the engine state is gone, as the window object is destroyed before the box.
    if (!runError)
        return exitStatusOf(outcome);
    report(*runError);
    return kExitError;
}

} // namespace app
