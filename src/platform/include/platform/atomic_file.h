#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>

namespace platform {

// Who may read a file that AtomicFile creates where there was none.
enum class NewFileAccess
{
    Default,   // as the process's file creation mask allows
    OwnerOnly, // read and write for its owner only: for files that hold secrets
};

// What commit() replaces when the final name is a symbolic link.
enum class LinkHandling
{
    ReplaceLink,  // the link itself gives way to a regular file
    WriteThrough, // the file the link leads to is replaced and the link stays
};

// A file that appears under its final name only once it has been written completely: the bytes
// go to a temporary file in the same directory, and commit() renames it over the final name.
// Until then an older file of that name stays as it was; a failed or abandoned write leaves
// nothing behind. The replacement keeps the permissions of the file it replaces and, where the
// process may set them, its owner and group. One object per file; not shared between threads.
class AtomicFile
{
public:
    explicit AtomicFile(std::filesystem::path finalPath,
                        NewFileAccess newFileAccess = NewFileAccess::Default,
                        LinkHandling links = LinkHandling::ReplaceLink);
    ~AtomicFile(); // discards the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file. False when the directory does not exist or cannot be written,
    // and for a chain of links that does not end.
    bool open();

    // Appends bytes. False on any I/O error (a full disk included); the file is then useless.
    bool write(const void* data, std::size_t size);

    // Closes the temporary file and renames it over the final name. False on any error, in which
    // case the temporary file is removed and the final name is untouched.
    bool commit();

    // Removes the temporary file, if any.
    void discard();

    const std::filesystem::path& finalPath() const { return m_finalPath; }

private:
    std::filesystem::path m_finalPath;
    NewFileAccess m_newFileAccess;
    LinkHandling m_links;
    std::filesystem::path m_replacedPath; // the final path, or where its links lead
    std::filesystem::path m_tempPath;
    std::FILE* m_file = nullptr;
    bool m_failed = false;
};

} // namespace platform
