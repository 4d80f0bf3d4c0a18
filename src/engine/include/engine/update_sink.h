#pragma once

#include <cstddef>
#include <cstdint>
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
    // How far the download of file fileNumber (from 1) of fileCount has come: received bytes of
    // total (-1 when the server announced none). A few calls a second at most, the first with
    // 0 bytes; none outside the download loop. Ignored unless a sink shows it.
    virtual void reportProgress(std::size_t fileNumber, std::size_t fileCount,
                                std::int64_t received, std::int64_t total)
    {
        (void)fileNumber, (void)fileCount, (void)received, (void)total;
    }
};

} // namespace engine
