#include "archive_file_stream.h"

#include "engine/archive_write_error.h"
#include "platform/os_path.h"

namespace engine {

ArchiveFileStream::ArchiveFileStream(std::string enginePath)
    : m_enginePath(std::move(enginePath)), m_file(platform::toOsPath(m_enginePath))
{}

void ArchiveFileStream::Write(const char* data, std::size_t size)
{
    m_size += static_cast<std::int64_t>(size);
    if (!m_error.empty())
        return;
    if (!m_opened) {
        m_opened = true;
        if (!m_file.open()) {
            m_error = "Cannot create file " + m_enginePath;
            return;
        }
    }
    if (!m_file.write(data, size)) {
        m_error = "Cannot write file " + m_enginePath;
        m_file.discard();
    }
}

void ArchiveFileStream::Truncate(std::int64_t size)
{
    if (size < m_size) {
        discard();
        m_size = 0;
    }
}

void ArchiveFileStream::commit()
{
    if (!m_opened && m_error.empty() && !m_file.open())
        m_error = "Cannot create file " + m_enginePath;
    m_opened = true;
    if (m_error.empty() && !m_file.commit())
        m_error = "Cannot write file " + m_enginePath;
    if (!m_error.empty()) {
        m_file.discard();
        throw ArchiveWriteError(m_error);
    }
}

void ArchiveFileStream::discard()
{
    m_file.discard();
    m_opened = false;
    m_error.clear();
}

} // namespace engine
