#include "zip_directory.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>

#include "platform/os_path.h"
#include "unzip/unzip_archive.h"
#include "zip_format.h"

namespace unzip {
namespace {

using namespace zip_format;

// The end record is searched in windows of this size, from the end of the file backwards.
constexpr std::int64_t kSearchWindow = 4096;
// A directory buffer never exceeds what a signed 32-bit length can hold with room to spare.
constexpr std::int64_t kMaxDirectoryBuffer = 2147483631;

std::string withoutTrailingNul(std::string_view text)
{
    return std::string(text.substr(0, text.find('\0')));
}

// The offset of the end record nearest to the end of the file, or -1 when there is none. Windows
// overlap by the record's size, so a signature straddling two windows is still found.
std::int64_t findEndRecord(platform::ReadOnlyFile& file, std::int64_t fileSize,
                           std::uint32_t& directoryOffset)
{
    const std::int64_t length = std::min(fileSize, kSearchWindow);
    std::vector<std::uint8_t> window(static_cast<std::size_t>(length));
    std::int64_t start = fileSize - length;
    for (;;) {
        if (!file.seek(start))
            return -1;
        const auto got = file.read(window.data(), window.size());
        if (got.error || got.count != window.size())
            return -1;
        for (std::int64_t at = length - static_cast<std::int64_t>(eocd::kSize); at >= 0; --at) {
            const std::uint8_t* p = window.data() + at;
            if (hasSignature(p, eocd::kSignature[0], eocd::kSignature[1])) {
                directoryOffset = le32(p + eocd::kDirectoryOffset);
                return start + at;
            }
        }
        if (start == 0)
            return -1;
        start =
            std::max<std::int64_t>(0, start - (length - static_cast<std::int64_t>(eocd::kSize)));
    }
}

} // namespace

bool IsZipFile(std::string_view archivePath)
{
    const std::string path = withoutTrailingNul(archivePath);
    if (path.find('.') == std::string::npos || path.find(".exe") != std::string::npos)
        return false;
    std::string copy = path;
    std::replace(copy.begin(), copy.end(), '/', '\\');
    if (!copy.empty() && copy.back() == '\\')
        copy.pop_back();
    const std::filesystem::path osPath = platform::toOsPath(copy);
    std::error_code ec;
    if (std::filesystem::is_directory(osPath, ec))
        return false;
    platform::ReadOnlyFile file;
    if (!file.open(osPath))
        return false;
    std::uint8_t head[4] = {};
    const auto got = file.read(head, sizeof head);
    return !got.error && got.count == sizeof head &&
           hasSignature(head, lfh::kSignature[0], lfh::kSignature[1]);
}

std::int32_t OpenZipDirectory(std::string_view archivePath, ZipDirEntry& entry)
{
    CloseZipDirectory(entry);
    platform::ReadOnlyFile& file = entry.archiveFile;
    const auto fail = [&](std::int32_t result) {
        entry.buffer = {};
        file.close();
        return result;
    };
    if (!file.open(platform::toOsPath(withoutTrailingNul(archivePath))))
        return kArchiveUnreadable;
    const auto fileSize = file.size();
    if (!fileSize) {
        fail(0);
        throw UnzipIoError("cannot take the size of the archive");
    }
    if (*fileSize == 0)
        return fail(kArchiveUnreadable);

    std::uint32_t directoryOffset = 0;
    const std::int64_t endRecord = findEndRecord(file, *fileSize, directoryOffset);
    if (endRecord < 0)
        return fail(kArchiveUnreadable);
    if (endRecord < static_cast<std::int64_t>(cdh::kSize) || directoryOffset > endRecord)
        return fail(kEndRecordTooEarly);

    const std::int64_t length = std::min(endRecord - directoryOffset + 4, kMaxDirectoryBuffer);
    try {
        entry.buffer.assign(static_cast<std::size_t>(length), 0);
    } catch (const std::bad_alloc&) {
        return fail(kArchiveUnreadable);
    }
    if (!file.seek(directoryOffset))
        return fail(kArchiveUnreadable);
    const auto got = file.read(entry.buffer.data(), entry.buffer.size());
    if (got.error) {
        fail(0);
        throw UnzipIoError("cannot read the central directory");
    }
    if (got.count != entry.buffer.size())
        return fail(kArchiveUnreadable);
    entry.isOpen = true;
    entry.position = 0;
    entry.directoryOffset = directoryOffset;
    return NextZipEntry(entry);
}

std::int32_t NextZipEntry(ZipDirEntry& entry)
{
    if (!entry.isOpen)
        return kNoFurtherEntry;
    const std::size_t position = static_cast<std::size_t>(entry.position);
    const std::size_t left = entry.buffer.size() - position;
    const std::uint8_t* p = entry.buffer.data() + position;
    if (left >= 4 && hasSignature(p, eocd::kSignature[0], eocd::kSignature[1])) {
        CloseZipDirectory(entry);
        return kNoFurtherEntry;
    }
    if (left < cdh::kSize || !hasSignature(p, cdh::kSignature[0], cdh::kSignature[1])) {
        CloseZipDirectory(entry);
        return kNoFurtherEntry;
    }
    const std::size_t nameLength = le16(p + cdh::kNameLength);
    const std::size_t total =
        cdh::kSize + nameLength + le16(p + cdh::kExtraLength) + le16(p + cdh::kCommentLength);
    if (left < total) {
        CloseZipDirectory(entry);
        return kNoFurtherEntry;
    }

    entry.uncompressedSize = static_cast<std::int32_t>(le32(p + cdh::kUncompressedSize));
    entry.compressedSize = static_cast<std::int32_t>(le32(p + cdh::kCompressedSize));
    entry.attributes =
        p[cdh::kHostSystem] == cdh::kHostMsDos ? p[cdh::kExternalAttributes] : std::uint8_t{0};
    entry.dateTime = le32(p + cdh::kDateTime);
    entry.localHeaderOffset = le32(p + cdh::kLocalHeaderOffset);
    entry.method = le16(p + cdh::kMethod);
    entry.flags = le16(p + cdh::kFlags);
    entry.crc32 = le32(p + cdh::kCrc32);

    std::string_view rawName(reinterpret_cast<const char*>(p + cdh::kSize), nameLength);
    rawName = rawName.substr(0, rawName.find('\0')).substr(0, kMaxMemberName);
    entry.name.assign(rawName);
    std::replace(entry.name.begin(), entry.name.end(), '/', '\\');

    entry.position = static_cast<std::int32_t>(position + total);
    return 0;
}

void CloseZipDirectory(ZipDirEntry& entry)
{
    if (!entry.isOpen)
        return;
    entry.archiveFile.close();
    entry.buffer = {};
    entry.isOpen = false;
}

} // namespace unzip
