#include "unzip/unzip_archive.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "match_mask.h"
#include "member_extractor.h"
#include "member_path.h"
#include "platform/os_path.h"
#include "zip_directory.h"
#include "zip_format.h"

namespace unzip {
namespace {

// The MS-DOS read-only attribute. The other attribute bits (hidden, system, archive) have no
// POSIX meaning; directories stay writable, since Windows ignores the bit on directories too.
constexpr std::uint8_t kReadOnlyAttribute = 0x01;

void applyAttributes(const std::filesystem::path& path, std::uint8_t attributes)
{
    if (!(attributes & kReadOnlyAttribute))
        return;
    std::error_code ec;
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove, ec);
}

// Results of a member after which the walk stops and the call returns them. A member that
// could not be written is among them: ending the walk with the count would let the caller
// report the archive as unpacked although its databases never reached the disk.
bool endsTheCall(std::int32_t result)
{
    return result == kPrematureEnd || result == kInvalidData || result == kCannotReopenArchive ||
           result == kOutputFailed;
}

} // namespace

std::int32_t UnzipArchive(std::string_view archivePath, std::string_view targetDirectory,
                          std::string_view mask)
{
    archivePath = archivePath.substr(0, archivePath.find('\0'));
    targetDirectory = targetDirectory.substr(0, targetDirectory.find('\0'));
    if (archivePath.empty() || targetDirectory.empty())
        return kEmptyPath;
    std::string target(targetDirectory);
    std::replace(target.begin(), target.end(), '/', '\\');
    if (target.back() != '\\')
        target += '\\';

    if (!IsZipFile(archivePath))
        return kNotAZipArchive;
    ZipDirEntry directory; // closes the archive and frees the directory however the call ends
    if (OpenZipDirectory(archivePath, directory) != 0)
        return kBadCentralDirectory;

    MemberExtractor extractor(platform::toOsPath(archivePath));
    std::int32_t count = 0;
    do {
        const bool utf8 = (directory.flags & zip_format::flag::kUtf8Name) != 0;
        if (!MatchMask(mask, memberNameAsEngineText(directory.name, utf8)))
            continue;
        if (!isSafeMemberName(directory.name))
            continue;
        MemberJob job;
        job.outputPath = memberOutputPath(target, directory.name, utf8);
        job.isDirectory = directory.name.empty() || directory.name.back() == '\\';
        job.localHeaderOffset = directory.localHeaderOffset;
        job.crc32 = directory.crc32;
        job.compressedSize = static_cast<std::uint32_t>(directory.compressedSize);
        job.uncompressedSize = static_cast<std::uint32_t>(directory.uncompressedSize);
        job.directoryOffset = directory.directoryOffset;
        const std::int32_t result = extractor.ExtractMember(job);
        if (result == 0) {
            if (!job.isDirectory)
                applyAttributes(job.outputPath, directory.attributes);
            ++count;
            continue;
        }
        if (endsTheCall(result)) {
            CloseZipDirectory(directory);
            return result;
        }
        break;
    } while (NextZipEntry(directory) == 0);
    CloseZipDirectory(directory);
    return count;
}

} // namespace unzip
