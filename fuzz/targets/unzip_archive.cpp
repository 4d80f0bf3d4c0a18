// Whole archives through the extraction driver, on the real file system.

#include "unzip/unzip_archive.h"

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include <sys/resource.h>
#include <unistd.h>

#include "check.h"
#include "fuzz_targets.h"
#include "platform/atomic_file.h"
#include "platform/os_path.h"
#include "platform/process_io.h"
#include "zip_directory.h"

namespace fuzz {
namespace {

namespace fs = std::filesystem;

// A scratch directory of this process (under TMPDIR, which scripts/fuzz.sh points at a memory
// file system), removed at exit. Extracted files are capped in size: a few bytes of deflate data
// may expand a thousandfold, and a capped write fails the way a full disk does.
class Workspace
{
public:
    Workspace()
    {
        m_root = fs::temp_directory_path() / ("kavor-fuzz-unzip-" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = kMaxFileSize;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~Workspace()
    {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    fs::path archive() const { return m_root / "in.zip"; }
    // Two levels down, so that a member climbing out with ".." lands where it can be seen.
    fs::path target() const { return m_root / "up2" / "up1" / "out"; }
    const fs::path& root() const { return m_root; }

private:
    static constexpr rlim_t kMaxFileSize = rlim_t{16} << 20;
    fs::path m_root;
};

// Members are never written under such a name, so any file named so is a temporary one.
bool isTemporary(const fs::path& path)
{
    return platform::AtomicFile::isTemporaryName(path.filename());
}

// The sum of the uncompressed sizes the central directory declares, read as the extractor reads
// them; 0 when it cannot be read (the extractor then writes nothing).
std::int64_t declaredSize(const fs::path& archive)
{
    std::int64_t total = 0;
    unzip::ZipDirEntry entry;
    try {
        if (unzip::OpenZipDirectory(platform::fromOsPath(archive), entry) != 0)
            return 0;
        do {
            total += static_cast<std::uint32_t>(entry.uncompressedSize);
        } while (unzip::NextZipEntry(entry) == 0);
    } catch (const unzip::UnzipIoError&) {
        return 0;
    }
    return total;
}

// What the extraction may write beyond the declared sizes: nothing, by its bounds; the constant
// keeps the check about runaway work rather than the last byte.
constexpr std::int64_t kWriteSlack = 4096;

} // namespace

void unzipArchive(Input input)
{
    static Workspace workspace;
    {
        std::ofstream out(workspace.archive(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(input.data()),
                  static_cast<std::streamsize>(input.size()));
    }
    fs::create_directories(workspace.target());

    const std::int64_t declared = declaredSize(workspace.archive());
    const std::optional<std::int64_t> writtenBefore = platform::bytesWrittenByProcess();
    const std::int32_t result = unzip::UnzipArchive(platform::fromOsPath(workspace.archive()),
                                                    platform::fromOsPath(workspace.target()));
    const std::int64_t written =
        platform::bytesWrittenByProcess().value_or(0) - writtenBefore.value_or(0);
    if (writtenBefore)
        check(written <= declared + kWriteSlack, "UnzipArchive wrote " + std::to_string(written) +
                                                     " bytes where the archive declares " +
                                                     std::to_string(declared));
    check(result >= 0 || result == unzip::kNotAZipArchive ||
              result == unzip::kBadCentralDirectory || result == unzip::kInvalidData ||
              result == unzip::kPrematureEnd || result == unzip::kOutputFailed,
          "UnzipArchive gave the undocumented result " + std::to_string(result));

    // Nothing leaves the target directory, and no member is left half-written.
    for (fs::path level = workspace.target(); level != workspace.root();) {
        const fs::path parent = level.parent_path();
        for (const auto& entry : fs::directory_iterator(parent)) {
            if (entry.path() != level && entry.path() != workspace.archive())
                fail("a member was written outside the target: " + entry.path().string());
        }
        level = parent;
    }
    for (const auto& entry : fs::recursive_directory_iterator(workspace.target())) {
        if (isTemporary(entry.path()))
            fail("a temporary file stayed: " + entry.path().string());
    }
    fs::remove_all(workspace.target());
}

} // namespace fuzz
