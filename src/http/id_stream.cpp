#include "http/id_stream.h"

#include "platform/memory_hint.h"

namespace http {

void TIdStringStream::Truncate(std::int64_t size)
{
    if (size >= 0 && size < Size())
        m_data.resize(static_cast<std::size_t>(size));
}

void TIdStringStream::Reserve(std::int64_t size)
{
    if (size <= 0 || static_cast<std::uint64_t>(size) > m_data.max_size())
        return;
    m_data.reserve(static_cast<std::size_t>(size));
    // Filling a large body page by page costs more than receiving it.
    if (m_data.capacity() >= kHugeBodyBytes)
        platform::preferHugePages(m_data.data(), m_data.capacity());
}

} // namespace http
