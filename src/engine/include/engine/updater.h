#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "engine/run_outcome.h"
#include "engine/settings.h"
#include "engine/update_sink.h"

namespace engine {

// What the main window owns for the engine: the settings, the HTTP client (one per program,
// reused from run to run), the download list and the installed-database list.
// The settings may be read and changed from any thread; runUpdate is called by one thread at a
// time (the window's worker, or the silent run's main thread).
class Updater
{
public:
    // Loads programDirectory + "config.ini" (programDirectory ends with "\").
    explicit Updater(std::string programDirectory);
    ~Updater();
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    const std::string& programDirectory() const;

    // Why the stored proxy password could not be read at load time, if it could not.
    const std::optional<std::string>& settingsLoadError() const;

    Settings settings() const;
    void setSettings(const Settings& settings);

    // Saves the settings to "config.ini" (stripping one trailing "\" from the two directories
    // in the held record first). Throws SettingsWriteError.
    void saveSettings();

    // One update run on the calling thread, with a copy of the settings taken at its start:
    // take the lock on archpath, fetch the page, select, download into archpath, unpack into
    // kvopath when asked, reporting every step to sink (a failure with a line saying why). A
    // stop request is honoured between two files. Errors that end the run early (an archive
    // that cannot be written, an I/O error while unpacking) set the controls back to idle and
    // are rethrown; otherwise the outcome says how the run went.
    RunOutcome runUpdate(UpdateSink& sink, const std::atomic<bool>& stopRequested);
    RunOutcome runUpdate(UpdateSink& sink);

    // How long a connect may take, and how long a request may wait without receiving a byte
    // (the program keeps the client's defaults, 30 s and 60 s; tests shorten them).
    void setNetworkTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds stall);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace engine
