#include "platform/atomic_file.h"

#include <atomic>
#include <chrono>
#include <string>
#include <system_error>

namespace platform {
namespace {

// Temporary names must never look like a database (*.vdb) or an archive (*.zip), since the
// engine lists those, so the marker goes at the end.
std::filesystem::path temporaryNameFor(const std::filesystem::path& finalPath, unsigned attempt)
{
    static std::atomic<unsigned> counter{0};
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    std::filesystem::path name = finalPath;
    name += ".kavor-tmp-" + std::to_string(ticks % 1000000007ull) + "-" +
            std::to_string(counter.fetch_add(1) + attempt);
    return name;
}

} // namespace

AtomicFile::AtomicFile(std::filesystem::path finalPath) : m_finalPath(std::move(finalPath)) {}

AtomicFile::~AtomicFile()
{
    discard();
}

bool AtomicFile::open()
{
    discard();
    m_failed = false;
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        m_tempPath = temporaryNameFor(m_finalPath, attempt);
        // "x": exclusive creation, so a name that happens to exist is never truncated.
        m_file = std::fopen(m_tempPath.c_str(), "wbx");
        if (m_file)
            return true;
        std::error_code ec;
        if (!std::filesystem::exists(m_tempPath, ec))
            break; // the directory itself refuses the file
    }
    m_tempPath.clear();
    return false;
}

bool AtomicFile::write(const void* data, std::size_t size)
{
    if (!m_file || m_failed)
        return false;
    if (size != 0 && std::fwrite(data, 1, size, m_file) != size)
        m_failed = true;
    return !m_failed;
}

bool AtomicFile::commit()
{
    if (!m_file)
        return false;
    const bool flushed = std::fflush(m_file) == 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (m_failed || !flushed || !closed) {
        discard();
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(m_tempPath, m_finalPath, ec);
    if (ec) {
        discard();
        return false;
    }
    m_tempPath.clear();
    return true;
}

void AtomicFile::discard()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_tempPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(m_tempPath, ec);
        m_tempPath.clear();
    }
}

} // namespace platform
