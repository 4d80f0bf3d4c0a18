#include "member_extractor.h"

#include <array>
#include <system_error>

#include "byte_stream.h"
#include "crc32.h"
#include "member_decoder.h"
#include "platform/atomic_file.h"
#include "platform/read_only_file.h"
#include "unzip/unzip_archive.h"
#include "zip_format.h"

namespace unzip {
namespace {

using namespace zip_format;

class ArchiveSource : public ByteSource
{
public:
    explicit ArchiveSource(platform::ReadOnlyFile& file) : m_file(file) {}
    ReadResult read(std::uint8_t* data, std::size_t size) override
    {
        const auto got = m_file.read(data, size);
        return {got.count, got.error};
    }

private:
    platform::ReadOnlyFile& m_file;
};

// Writes to the temporary output file and keeps the CRC-32 of everything written.
class CheckedFileSink : public ByteSink
{
public:
    explicit CheckedFileSink(platform::AtomicFile& file) : m_file(file) {}
    bool write(const std::uint8_t* data, std::size_t size) override
    {
        m_crc = crc32Update(m_crc, data, size);
        return m_file.write(data, size);
    }
    std::uint32_t crc() const { return m_crc; }

private:
    platform::AtomicFile& m_file;
    std::uint32_t m_crc = 0;
};

} // namespace

MemberExtractor::MemberExtractor(std::filesystem::path archivePath)
    : m_archivePath(std::move(archivePath))
{}

std::int32_t MemberExtractor::ExtractMember(const MemberJob& job)
{
    // The archive is opened once, beside the directory walk's own opening, and serves every
    // member; positioning at each local header makes unmatched members cost nothing.
    platform::ReadOnlyFile& archive = m_archive;
    if (!archive.isOpen()) {
        if (!archive.open(m_archivePath))
            return kCannotReopenArchive;
        m_archiveSize = archive.size();
    }
    if (!m_archiveSize || job.localHeaderOffset > *m_archiveSize ||
        !archive.seek(job.localHeaderOffset))
        return kPrematureEnd;

    std::array<std::uint8_t, lfh::kSize> header{};
    const auto got = archive.read(header.data(), header.size());
    if (got.error || got.count != header.size() ||
        !hasSignature(header.data(), lfh::kSignature[0], lfh::kSignature[1]))
        return kInvalidData;
    const std::int64_t dataStart = std::int64_t{job.localHeaderOffset} + lfh::kSize +
                                   le16(&header[lfh::kNameLength]) +
                                   le16(&header[lfh::kExtraLength]);
    MemberFormat format;
    format.flags = le16(&header[lfh::kFlags]);
    format.method = le16(&header[lfh::kMethod]);
    if (format.flags & flag::kDataDescriptor) {
        format.compressedSize = kUnknownSize;
        format.uncompressedSize = kUnknownSize;
    } else {
        format.compressedSize = static_cast<std::int32_t>(le32(&header[lfh::kCompressedSize]));
        format.uncompressedSize = static_cast<std::int32_t>(le32(&header[lfh::kUncompressedSize]));
    }
    if (format.method != method::kStored && format.method != method::kShrunk &&
        format.method != method::kImploded && format.method != method::kDeflated)
        return kUnsupportedMethod;
    if (format.flags & flag::kEncrypted)
        return kEncrypted;
    if (!archive.seek(dataStart))
        throw UnzipIoError("cannot position the archive at a member's data");

    std::error_code ec;
    if (job.isDirectory) {
        std::filesystem::create_directories(job.outputPath, ec);
        return std::filesystem::is_directory(job.outputPath, ec) ? 0 : kOutputFailed;
    }
    platform::AtomicFile output(job.outputPath);
    if (!output.open()) {
        std::filesystem::create_directories(job.outputPath.parent_path(), ec);
        if (!output.open())
            return kOutputFailed;
    }

    ArchiveSource source(archive);
    CheckedFileSink sink(output);
    std::int32_t result = decodeMember(format, source, sink);
    if (result == 0 && sink.crc() != job.crc32)
        result = kInvalidData;
    if (result == 0 && !output.commit())
        result = kOutputFailed;
    return result; // a member that failed leaves nothing: the temporary file goes with output
}

} // namespace unzip
