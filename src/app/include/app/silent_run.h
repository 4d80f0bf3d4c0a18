#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace app {

// Shows the user an error message (UTF-8) and returns once the user has seen it.
using ErrorReport = std::function<void(const std::string& utf8Message)>;

// The silent run's exit statuses, for the scheduler that started it.
inline constexpr int kExitUpdated = 0;        // page and every selected file fetched (and unpacked)
inline constexpr int kExitError = 1;          // an error ended the run early
inline constexpr int kExitPageFailed = 2;     // the update page could not be fetched
inline constexpr int kExitFilesFailed = 3;    // a selected file could not be fetched or unpacked
inline constexpr int kExitAlreadyRunning = 4; // another run holds the archive directory

// The silent run: the settings are loaded from programDirectory's config.ini as in the windowed
// run (a stored proxy password that cannot be read is reported, then the run goes on), one update
// run is made on the calling thread, and nothing is saved. Every log line goes to log as it is
// made, in UTF-8 with "\n", flushed per line. Returns the exit status above; kExitError after
// reporting the error that ended the run early (an archive that could not be written, an I/O
// error while unpacking).
int silentRun(const std::string& programDirectory, const ErrorReport& report,
              std::FILE* log = stdout);

} // namespace app
