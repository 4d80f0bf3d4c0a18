#pragma once

#include <filesystem>

namespace platform {

// An exclusive, advisory lock on a directory, taken through the file kFileName inside it and
// held for the object's life. The operating system drops it when the process ends, however it
// ends (a crash or SIGKILL included), so a dead holder never blocks the next one. The file
// itself may stay behind. Locks taken by two objects conflict also within one process.
// One object per thread.
class DirectoryLock
{
public:
    static constexpr const char* kFileName = "kavor-updater.lock";

    enum class State
    {
        Held,          // this object holds the lock
        HeldElsewhere, // another holder has it; nothing was changed
        Unavailable,   // the directory is missing or refuses the lock file: no lock either way
    };

    // Tries once, without waiting.
    explicit DirectoryLock(const std::filesystem::path& directory);
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

    State state() const { return m_state; }

private:
    int m_fd = -1;
    State m_state = State::Unavailable;
};

} // namespace platform
