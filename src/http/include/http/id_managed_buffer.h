#pragma once

#include <cstddef>
#include <memory>

namespace http {

// The input buffer of a connection: bytes received and not yet consumed. Consuming advances a
// read offset; the unread bytes move to the front only once the offset reaches 32768, and
// consuming everything empties the buffer, so a steady stream costs one copy per byte.
class TIdManagedBuffer
{
public:
    static constexpr std::size_t kCompactAt = 32768;

    // Unread bytes and their count.
    const char* Data() const { return m_data.get() + m_begin; }
    std::size_t Size() const { return m_end - m_begin; }

    // Room for size more bytes at the end; Commit then adds the count actually written there.
    char* Prepare(std::size_t size);
    void Commit(std::size_t count) { m_end += count; }

    void Append(const char* data, std::size_t size);
    // Drops the first count unread bytes (at most Size()).
    void Consume(std::size_t count);
    void Clear() { m_begin = m_end = 0; }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_capacity = 0;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

} // namespace http
