#include "platform/read_only_file.h"

#include <cerrno>
#include <utility>

#ifdef _WIN32
#error "ReadOnlyFile: add CreateFileW/ReadFile/SetFilePointerEx for Windows builds"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

ReadOnlyFile::~ReadOnlyFile()
{
    close();
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

bool ReadOnlyFile::open(const std::filesystem::path& path)
{
    close();
    do {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (m_fd < 0 && errno == EINTR);
    return m_fd >= 0;
}

void ReadOnlyFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::optional<std::int64_t> ReadOnlyFile::size() const
{
    struct stat info
    {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0)
        return std::nullopt;
    return static_cast<std::int64_t>(info.st_size);
}

bool ReadOnlyFile::seek(std::int64_t offset)
{
    if (m_fd < 0 || offset < 0)
        return false;
    return ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(-1);
}

ReadOnlyFile::ReadResult ReadOnlyFile::read(void* data, std::size_t size)
{
    ReadResult result;
    if (m_fd < 0) {
        result.error = true;
        return result;
    }
    auto* bytes = static_cast<unsigned char*>(data);
    while (result.count < size) {
        const ssize_t got = ::read(m_fd, bytes + result.count, size - result.count);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result.error = true;
            break;
        }
        if (got == 0)
            break;
        result.count += static_cast<std::size_t>(got);
    }
    return result;
}

} // namespace platform
