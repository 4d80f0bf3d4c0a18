#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "byte_stream.h"

namespace unzip {

// The 32 KB output window of one member: decoders expand into it, use it as their dictionary
// (a reference before any output reads zero bytes, since it starts zero-filled) and flush it to
// the sink whenever it is full and once at the end.
class OutputWindow
{
public:
    static constexpr std::size_t kSize = 32768;
    // Bytes past the end that word-wise copies may read (never as data); zero.
    static constexpr std::size_t kSlack = 16;

    explicit OutputWindow(ByteSink& sink);

    std::uint8_t* data() { return m_bytes.get(); }

    // Writes the first count bytes (0 to kSize) to the sink; true when all were written.
    bool FlushOutput(std::size_t count) { return count == 0 || m_sink.write(m_bytes.get(), count); }

    ByteSink& sink() { return m_sink; }

private:
    ByteSink& m_sink;
    std::unique_ptr<std::uint8_t[]> m_bytes;
};

} // namespace unzip
