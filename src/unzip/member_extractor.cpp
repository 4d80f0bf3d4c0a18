#include "member_extractor.h"

#include <algorithm>
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

// A decoder may look up to 15 bits beyond the last code of its data. These bytes follow the
// data inside the archive (the central directory comes after any member's data), so the
// look-ahead reads real bytes of the archive, never filler past its end.
constexpr std::int64_t kLookAheadBytes = 2;

// The member's data and the look-ahead bytes behind them, then the end.
class MemberDataSource : public ByteSource
{
public:
    MemberDataSource(platform::ReadOnlyFile& file, std::int64_t dataSize)
        : m_file(file), m_left(dataSize + kLookAheadBytes)
    {}
    ReadResult read(std::uint8_t* data, std::size_t size) override
    {
        size = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(size), m_left));
        if (size == 0)
            return {};
        const auto got = m_file.read(data, size);
        m_left -= static_cast<std::int64_t>(got.count);
        return {got.count, got.error};
    }

private:
    platform::ReadOnlyFile& m_file;
    std::int64_t m_left;
};

// Writes to the temporary output file up to the declared size and keeps the CRC-32 of
// everything written. A write that would go beyond the declared size is refused whole, which
// ends the decoder at once.
class CheckedFileSink : public ByteSink
{
public:
    CheckedFileSink(platform::AtomicFile& file, std::int64_t declaredSize)
        : m_file(file), m_left(declaredSize)
    {}
    bool write(const std::uint8_t* data, std::size_t size) override
    {
        if (static_cast<std::int64_t>(size) > m_left) {
            m_beyondDeclaredSize = true;
            return false;
        }
        m_left -= static_cast<std::int64_t>(size);
        m_crc = crc32Update(m_crc, data, size);
        return m_file.write(data, size);
    }
    std::uint32_t crc() const { return m_crc; }
    bool beyondDeclaredSize() const { return m_beyondDeclaredSize; }

private:
    platform::AtomicFile& m_file;
    std::int64_t m_left;
    std::uint32_t m_crc = 0;
    bool m_beyondDeclaredSize = false;
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
    const std::uint32_t localCompressedSize = le32(&header[lfh::kCompressedSize]);
    const std::uint32_t localUncompressedSize = le32(&header[lfh::kUncompressedSize]);
    MemberFormat format;
    format.flags = le16(&header[lfh::kFlags]);
    format.method = le16(&header[lfh::kMethod]);
    const bool sizesFollowData = (format.flags & flag::kDataDescriptor) != 0;
    if (sizesFollowData) {
        format.compressedSize = kUnknownSize;
        format.uncompressedSize = kUnknownSize;
    } else {
        format.compressedSize = static_cast<std::int32_t>(localCompressedSize);
        format.uncompressedSize = static_cast<std::int32_t>(localUncompressedSize);
    }
    if (format.method != method::kStored && format.method != method::kShrunk &&
        format.method != method::kImploded && format.method != method::kDeflated)
        return kUnsupportedMethod;
    if (format.flags & flag::kEncrypted)
        return kEncrypted;

    // The declared sizes bound all further work, so they must hold: the local header agrees
    // with them, the data lie before the central directory, and no two members share bytes.
    if (!sizesFollowData && (localCompressedSize != job.compressedSize ||
                             localUncompressedSize != job.uncompressedSize))
        return kInvalidData;
    const std::int64_t dataEnd = dataStart + job.compressedSize;
    if (dataEnd > job.directoryOffset || !m_claimed.claim(job.localHeaderOffset, dataEnd))
        return kInvalidData;

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

    MemberDataSource source(archive, job.compressedSize);
    CheckedFileSink sink(output, job.uncompressedSize);
    std::int32_t result = decodeMember(format, source, sink);
    if (sink.beyondDeclaredSize())
        result = kInvalidData;
    if (result == 0 && sink.crc() != job.crc32)
        result = kInvalidData;
    if (result == 0 && !output.commit())
        result = kOutputFailed;
    return result; // a member that failed leaves nothing: the temporary file goes with output
}

} // namespace unzip
