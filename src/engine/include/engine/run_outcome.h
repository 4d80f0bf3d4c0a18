#pragma once

namespace engine {

// How an update run ended, when no error ended it early.
enum class RunOutcome
{
    Updated,        // the page and every selected file came whole (and unpacked, if asked)
    PageFailed,     // the update page could not be fetched
    FilesFailed,    // the page came, but a selected file could not be fetched or unpacked
    AlreadyRunning, // another run holds the archive directory; nothing was done
    Stopped,        // a stop request ended the run before it was done
};

} // namespace engine
