// What extracting an archive costs, against what the archive declares.
//
// bounded_extraction_bench RUNS ARCHIVE...: extracts each archive RUNS times with UnzipArchive
// into a fresh directory and prints a table row per archive: its size, the sum of the
// uncompressed sizes its central directory declares, the result, the bytes the extraction
// handed to write() (Linux's /proc/self/io, so files removed again count too) and the median
// wall time.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/os_path.h"
#include "platform/process_io.h"
#include "unzip/unzip_archive.h"
#include "zip_directory.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::int64_t declaredSize(const fs::path& archive)
{
    std::int64_t total = 0;
    unzip::ZipDirEntry entry;
    if (unzip::OpenZipDirectory(platform::fromOsPath(archive), entry) != 0)
        return 0;
    do {
        total += static_cast<std::uint32_t>(entry.uncompressedSize);
    } while (unzip::NextZipEntry(entry) == 0);
    return total;
}

std::string withThousands(std::int64_t value)
{
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s RUNS ARCHIVE...\n", argv[0]);
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    const fs::path scratch = fs::temp_directory_path() / "kavor-bounded-extraction-bench";
    std::printf("| archive | archive bytes | declared bytes | result | bytes written | time |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    for (int a = 2; a < argc; ++a) {
        const fs::path archive = argv[a];
        std::vector<double> seconds;
        std::int32_t result = 0;
        std::int64_t written = 0;
        for (int run = 0; run < runs; ++run) {
            fs::remove_all(scratch);
            fs::create_directories(scratch);
            const std::int64_t before = platform::bytesWrittenByProcess().value_or(-1);
            const auto start = Clock::now();
            result = unzip::UnzipArchive(platform::fromOsPath(archive),
                                         platform::fromOsPath(scratch / "out"));
            seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
            written = platform::bytesWrittenByProcess().value_or(-1) - before;
        }
        fs::remove_all(scratch);
        std::sort(seconds.begin(), seconds.end());
        std::printf("| %s | %s | %s | %d | %s | %.2f ms |\n", archive.filename().c_str(),
                    withThousands(static_cast<std::int64_t>(fs::file_size(archive))).c_str(),
                    withThousands(declaredSize(archive)).c_str(), result,
                    withThousands(written).c_str(), 1000 * seconds[seconds.size() / 2]);
        std::fflush(stdout);
    }
    return 0;
}
