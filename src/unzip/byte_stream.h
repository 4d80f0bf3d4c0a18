#pragma once

#include <cstddef>
#include <cstdint>

namespace unzip {

// Where a member's compressed bytes come from: the archive file positioned at the member's
// data, or memory when a decoder is driven on its own.
class ByteSource
{
public:
    struct ReadResult
    {
        std::size_t count = 0; // bytes delivered; fewer than asked only at the end or on error
        bool error = false;    // the source reported an I/O error
    };

    virtual ~ByteSource() = default;
    virtual ReadResult read(std::uint8_t* data, std::size_t size) = 0;
};

// Where a member's expanded bytes go.
class ByteSink
{
public:
    virtual ~ByteSink() = default;
    // True when every byte was accepted; false on any write error.
    virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
};

} // namespace unzip
