#pragma once

#include <functional>
#include <optional>
#include <string>

namespace testing_support {

// Tests run as root, for whom file permissions mean nothing. This runs body in a forked child
// that has given up root for the user and group nobody (65534), so that they apply, and returns
// what body returned (or "exception: " and the message of what it threw). std::nullopt when the
// privileges cannot be dropped (not root to begin with): the caller then skips.
//
// The child shares nothing with the test afterwards: body must not use GoogleTest assertions,
// and the child ends with _exit, so none of the test's objects is destroyed twice (servers are
// not stopped, temporary directories not removed by it). Whatever body needs to reach must be
// traversable by nobody. Single-threaded tests only.
std::optional<std::string> runAsNobody(const std::function<std::string()>& body);

} // namespace testing_support
