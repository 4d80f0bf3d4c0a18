#include "platform/directory_lock.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// flock here; a Windows build takes the same lock with LockFileEx on the same file.
namespace platform {

DirectoryLock::DirectoryLock(const std::filesystem::path& directory)
{
    const std::filesystem::path file = directory / kFileName;
    m_fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    // A lock file left by a holder with other permissions can still be locked read-only.
    if (m_fd < 0 && (errno == EACCES || errno == EROFS))
        m_fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (m_fd < 0)
        return;
    int result = 0;
    do {
        result = ::flock(m_fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_state = State::Held;
        return;
    }
    m_state = errno == EWOULDBLOCK ? State::HeldElsewhere : State::Unavailable;
    ::close(m_fd);
    m_fd = -1;
}

DirectoryLock::~DirectoryLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the last descriptor releases the lock
}

} // namespace platform
