#include "platform/atomic_file.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Temporary names must never look like a database (*.vdb) or an archive (*.zip), since the
// engine lists those, so the marker goes at the end.
std::filesystem::path temporaryNameFor(const std::filesystem::path& finalPath, unsigned attempt)
{
    static std::atomic<unsigned> counter{0};
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    std::filesystem::path name = finalPath;
    name += ".kavor-tmp-" + std::to_string(ticks % 1000000007ull) + "-" +
            std::to_string(counter.fetch_add(1) + attempt);
    return name;
}

// Where a chain of symbolic links at path ends (path itself when it is no link); the end need not
// exist. None for a chain that loops or runs longer than the kernel would follow.
std::optional<std::filesystem::path> linkTarget(std::filesystem::path path)
{
    constexpr int kMaxLinks = 40; // the kernel's own bound (ELOOP)
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(path, ec))
            return path;
        const std::filesystem::path next = std::filesystem::read_symlink(path, ec);
        if (ec)
            return std::nullopt;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return std::nullopt;
}

// Creates a temporary file with the permissions asked for a new file or, to keep the file it
// will replace, with that file's permissions, owner and group (the last two where the process
// may). The file is private to its creator until its final permissions are set, so its contents
// are never readable by more users than those of the file it replaces.
std::FILE* createTemporary(const std::filesystem::path& tempPath,
                           const std::filesystem::path& replacedPath, Replacement replacement,
                           NewFileAccess newFileAccess)
{
    struct stat replaced
    {};
    const bool replacesFile = replacement == Replacement::KeepsTheFile &&
                              ::lstat(replacedPath.c_str(), &replaced) == 0 &&
                              S_ISREG(replaced.st_mode);
    const mode_t createMode =
        replacesFile || newFileAccess == NewFileAccess::OwnerOnly ? 0600 : 0666;
    // O_EXCL: a name that happens to exist is never truncated.
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
    if (fd < 0)
        return nullptr;
    if (replacesFile) {
        // Another owner only for a process that may give files away (root); the group alone
        // for an owner who belongs to it.
        if (::fchown(fd, replaced.st_uid, replaced.st_gid) != 0 &&
            ::fchown(fd, static_cast<uid_t>(-1), replaced.st_gid) != 0) {
            // Neither: the file stays ours, as any file we create is.
        }
        if (::fchmod(fd, replaced.st_mode & 0777) != 0) {
            ::close(fd);
            ::unlink(tempPath.c_str());
            return nullptr;
        }
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        ::close(fd);
        ::unlink(tempPath.c_str());
    }
    return file;
}

} // namespace

AtomicFile::AtomicFile(std::filesystem::path finalPath, Replacement replacement,
                       NewFileAccess newFileAccess)
    : m_finalPath(std::move(finalPath)), m_replacement(replacement), m_newFileAccess(newFileAccess)
{}

AtomicFile::~AtomicFile()
{
    discard();
}

bool AtomicFile::open()
{
    discard();
    m_failed = false;
    if (m_replacement == Replacement::KeepsTheFile) {
        const auto target = linkTarget(m_finalPath);
        if (!target)
            return false;
        m_replacedPath = *target;
    } else {
        m_replacedPath = m_finalPath;
    }
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        m_tempPath = temporaryNameFor(m_replacedPath, attempt);
        m_file = createTemporary(m_tempPath, m_replacedPath, m_replacement, m_newFileAccess);
        if (m_file)
            return true;
        std::error_code ec;
        if (!std::filesystem::exists(m_tempPath, ec))
            break; // the directory itself refuses the file
    }
    m_tempPath.clear();
    return false;
}

bool AtomicFile::write(const void* data, std::size_t size)
{
    if (!m_file || m_failed)
        return false;
    if (size != 0 && std::fwrite(data, 1, size, m_file) != size)
        m_failed = true;
    return !m_failed;
}

bool AtomicFile::commit()
{
    if (!m_file)
        return false;
    const bool flushed = std::fflush(m_file) == 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (m_failed || !flushed || !closed) {
        discard();
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(m_tempPath, m_replacedPath, ec);
    if (ec) {
        discard();
        return false;
    }
    m_tempPath.clear();
    return true;
}

void AtomicFile::discard()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_tempPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(m_tempPath, ec);
        m_tempPath.clear();
    }
}

} // namespace platform
