#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace platform {

// Who may read the file an AtomicFile creates where there was none, or (with Replacement::Fresh)
// in place of the old one.
enum class NewFileAccess
{
    Default,   // as the process's file creation mask allows
    OwnerOnly, // read and write for its owner only: for files that hold secrets
};

// What the replacement keeps of the file it replaces.
enum class Replacement
{
    Fresh,        // nothing: a new file as newFileAccess says, in place of a link too
    KeepsTheFile, // its permissions and, where the process may set them, owner and group; and a
                  // link at the final name, whose target is replaced instead
};

// A file that appears under its final name only once it has been written completely: the bytes
// go to a temporary file in the same directory, and commit() renames it over the final name.
// Until then an older file of that name stays as it was; a failed or abandoned write leaves
// nothing behind. One object per file; not shared between threads.
class AtomicFile
{
public:
    explicit AtomicFile(std::filesystem::path finalPath,
                        Replacement replacement = Replacement::Fresh,
                        NewFileAccess newFileAccess = NewFileAccess::Default);
    ~AtomicFile(); // discards the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file. False when the directory does not exist or cannot be written;
    // with Replacement::KeepsTheFile also for a chain of links that does not end, and for a
    // final name that leads to something other than a regular file (a device, a directory).
    bool open();

    // Appends bytes. False on any I/O error (a full disk included); the file is then useless.
    bool write(const void* data, std::size_t size);

    // Closes the temporary file and renames it over the final name. False on any error, in which
    // case the temporary file is removed and the final name is untouched.
    bool commit();

    // Removes the temporary file, if any.
    void discard();

    const std::filesystem::path& finalPath() const { return m_finalPath; }

    // Whether a file name is one of this class's temporary names.
    static bool isTemporaryName(const std::filesystem::path& fileName);

    // Removes the temporary files that writers killed mid-write left in directory, and with
    // recursive in its subdirectories too (symbolic links are not followed). Nothing else is
    // touched; errors are ignored. Only while no writer of this program uses directory.
    static void removeAbandoned(const std::filesystem::path& directory, bool recursive);

private:
    // Downloads and members arrive in pieces of a few tens of kilobytes.
    static constexpr std::size_t kWriteBufferBytes = 256 * 1024;

    std::filesystem::path m_finalPath;
    Replacement m_replacement;
    NewFileAccess m_newFileAccess;
    std::filesystem::path m_replacedPath; // the final path, or where its links lead
    std::filesystem::path m_tempPath;
    std::FILE* m_file = nullptr;
    std::unique_ptr<char[]> m_buffer; // the file's stdio buffer, outliving it
    bool m_failed = false;
};

} // namespace platform
