#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace platform {

// A file opened for reading only, with sharing allowed, read with plain unbuffered reads at a
// 64-bit position (archives beyond 2 GB included). Move-only; one object per open file, not
// shared between threads. Closes itself when destroyed.
class ReadOnlyFile
{
public:
    // The outcome of one read: how many bytes arrived, and whether the OS reported an error
    // (an error may follow some bytes; end of file alone is not an error).
    struct ReadResult
    {
        std::size_t count = 0;
        bool error = false;
    };

    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Opens the file, closing any file held before. False when it cannot be opened.
    bool open(const std::filesystem::path& path);
    bool isOpen() const { return m_fd >= 0; }
    void close();

    // The file's size in bytes; none when the OS cannot tell.
    std::optional<std::int64_t> size() const;

    // Moves the read position. False for a negative offset or when the OS refuses; a position
    // beyond the end is allowed (reads there give 0 bytes).
    bool seek(std::int64_t offset);

    // Reads up to size bytes at the current position, stopping early only at the end of the file
    // or at an error, and advances the position by the count read.
    ReadResult read(void* data, std::size_t size);

private:
    int m_fd = -1;
};

} // namespace platform
