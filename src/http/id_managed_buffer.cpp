#include "http/id_managed_buffer.h"

#include <algorithm>
#include <cstring>

namespace http {

char* TIdManagedBuffer::Prepare(std::size_t size)
{
    if (m_capacity - m_end < size) {
        const std::size_t unread = Size();
        if (m_begin > 0 && m_capacity - unread >= size) {
            std::memmove(m_data.get(), Data(), unread);
        } else {
            const std::size_t capacity = std::max(m_capacity * 2, unread + size);
            auto grown = std::make_unique_for_overwrite<char[]>(capacity);
            if (unread > 0)
                std::memcpy(grown.get(), Data(), unread);
            m_data = std::move(grown);
            m_capacity = capacity;
        }
        m_begin = 0;
        m_end = unread;
    }
    return m_data.get() + m_end;
}

void TIdManagedBuffer::Append(const char* data, std::size_t size)
{
    if (size == 0)
        return;
    std::memcpy(Prepare(size), data, size);
    Commit(size);
}

void TIdManagedBuffer::Consume(std::size_t count)
{
    m_begin += std::min(count, Size());
    if (m_begin == m_end) {
        m_begin = m_end = 0;
    } else if (m_begin >= kCompactAt) {
        std::memmove(m_data.get(), Data(), Size());
        m_end -= m_begin;
        m_begin = 0;
    }
}

} // namespace http
