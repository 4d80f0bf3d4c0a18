#pragma once

#include <cstdint>
#include <string>

#include "http/id_stream.h"
#include "platform/atomic_file.h"

namespace engine {

// Where a downloaded archive's body goes as it arrives: a temporary file in the archive
// directory that takes the archive's name only on commit. The file is created with the first
// byte, so an empty answer creates nothing. A file that cannot be created or written no longer
// takes bytes, but still counts them, so the download can end as its framing says and the
// error is raised by commit; nothing partial stays. One object per download.
class ArchiveFileStream final : public http::TIdStream
{
public:
    // enginePath: archpath + "\" + name.
    explicit ArchiveFileStream(std::string enginePath);

    std::int64_t Size() const override { return m_size; }
    void Write(const char* data, std::size_t size) override;
    // Only back to nothing (a request that starts over); the temporary file goes.
    void Truncate(std::int64_t size) override;

    // Gives the file its final name. Throws ArchiveWriteError ("Cannot create file <path>" or
    // "Cannot write file <path>") when it could not be created, written or renamed.
    void commit();
    // Drops whatever was written; the final name keeps what it had.
    void discard();

private:
    std::string m_enginePath;
    platform::AtomicFile m_file;
    std::int64_t m_size = 0;
    bool m_opened = false;
    std::string m_error; // the first failure, empty while none
};

} // namespace engine
