#include "support/as_nobody.h"

#include <exception>
#include <stdexcept>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {
namespace {

constexpr uid_t kNobody = 65534;
constexpr int kCannotDrop = 77;

void writeAll(int fd, const std::string& text)
{
    for (std::size_t sent = 0; sent < text.size();) {
        const ssize_t n = ::write(fd, text.data() + sent, text.size() - sent);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace

std::optional<std::string> runAsNobody(const std::function<std::string()>& body)
{
    if (::geteuid() != 0)
        return std::nullopt;
    int channel[2];
    if (::pipe(channel) != 0)
        throw std::runtime_error("cannot create a pipe");
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("cannot fork");
    if (child == 0) {
        ::close(channel[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0 ||
            ::setuid(0) == 0)
            ::_exit(kCannotDrop);
        std::string result;
        try {
            result = body();
        } catch (const std::exception& e) {
            result = std::string("exception: ") + e.what();
        } catch (...) {
            result = "exception: (not a std::exception)";
        }
        writeAll(channel[1], result);
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotDrop)
        return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the unprivileged child died");
    return result;
}

} // namespace testing_support
