#pragma once

#include <string_view>

namespace engine {

// Where an update run reports, in the order the run makes the changes. The main window carries
// each call out on its UI thread; the silent run has no window and keeps nothing.
class UpdateSink
{
public:
    virtual ~UpdateSink() = default;

    virtual void clearLog() = 0;
    // One whole log line, CP1251, without a line end.
    virtual void appendLine(std::string_view line) = 0;
    // Running: the start controls disabled (and the cancel control enabled); idle: the reverse.
    virtual void setUpdateControls(bool running) = 0;
};

} // namespace engine
