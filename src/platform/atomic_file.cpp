#include "platform/atomic_file.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Temporary names must never look like a database (*.vdb) or an archive (*.zip), since the
// engine lists those, so the marker goes at the end: <final name>.kavor-tmp-<digits>-<digits>.
constexpr std::string_view kTemporaryMarker = ".kavor-tmp-";

bool allDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::filesystem::path temporaryNameFor(const std::filesystem::path& finalPath, unsigned attempt)
{
    static std::atomic<unsigned> counter{0};
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    std::filesystem::path name = finalPath;
    name += std::string(kTemporaryMarker) + std::to_string(ticks % 1000000007ull) + "-" +
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
        // A link may lead to a device, a pipe or a directory; renaming over one of those would
        // destroy it, and there is no file to keep.
        std::error_code ec;
        const auto status = std::filesystem::status(*target, ec);
        if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
            return false;
        m_replacedPath = *target;
    } else {
        m_replacedPath = m_finalPath;
    }
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        m_tempPath = temporaryNameFor(m_replacedPath, attempt);
        m_file = createTemporary(m_tempPath, m_replacedPath, m_replacement, m_newFileAccess);
        if (m_file) {
            // Downloads and members arrive in pieces of a few tens of kilobytes; gathering them
            // saves most of the write calls (stdio's default would split each piece in two).
            // (stdio takes a size only with a buffer of the caller's.)
            if (!m_buffer)
                m_buffer = std::make_unique_for_overwrite<char[]>(kWriteBufferBytes);
            std::setvbuf(m_file, m_buffer.get(), _IOFBF, kWriteBufferBytes);
            return true;
        }
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

namespace platform {

bool AtomicFile::isTemporaryName(const std::filesystem::path& fileName)
{
    const std::string name = fileName.filename().string();
    const auto marker = name.rfind(kTemporaryMarker);
    if (marker == std::string::npos || marker == 0)
        return false;
    const std::string_view suffix = std::string_view(name).substr(marker + kTemporaryMarker.size());
    const auto dash = suffix.find('-');
    return dash != std::string_view::npos && allDigits(suffix.substr(0, dash)) &&
           allDigits(suffix.substr(dash + 1));
}

void AtomicFile::removeAbandoned(const std::filesystem::path& directory, bool recursive)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto removeIfAbandoned = [](const fs::directory_entry& entry) {
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && !entry.is_symlink(ignored) &&
            isTemporaryName(entry.path().filename()))
            fs::remove(entry.path(), ignored);
    };
    if (!recursive) {
        for (fs::directory_iterator it(directory, fs::directory_options::skip_permission_denied,
                                       ec);
             !ec && it != fs::directory_iterator(); it.increment(ec))
            removeIfAbandoned(*it);
        return;
    }
    for (fs::recursive_directory_iterator it(directory,
                                             fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        removeIfAbandoned(*it);
}

} // namespace platform
