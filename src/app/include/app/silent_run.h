#pragma once

#include <functional>
#include <string>

namespace app {

// Shows the user an error message (UTF-8) and returns once the user has seen it.
using ErrorReport = std::function<void(const std::string& utf8Message)>;

// The silent run: the settings are loaded from programDirectory's config.ini as in the windowed
// run (a stored proxy password that cannot be read is reported, then the run goes on), one update
// run is made on the calling thread with its log discarded, and nothing is saved. Returns the
// program's exit status: 0, also when the page or files could not be fetched; 1 after reporting
// the error that ended the run early (an archive that could not be written, an I/O error while
// unpacking).
int silentRun(const std::string& programDirectory, const ErrorReport& report);

} // namespace app
