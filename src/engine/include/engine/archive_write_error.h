#pragma once

#include <stdexcept>

namespace engine {

// A downloaded file could not be written into the archive directory; the message names it.
class ArchiveWriteError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace engine
