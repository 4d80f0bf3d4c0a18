// kavor-unzip ARCHIVE TARGET [MASK]: runs the extractor once and prints its result, for
// benchmarks and manual checks. Exit status 0 for a result >= 0, 1 otherwise.

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/os_path.h"
#include "unzip/unzip_archive.h"

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: kavor-unzip ARCHIVE TARGET [MASK]\n");
        return 2;
    }
    // The extractor takes engine paths (CP1251); the arguments arrive in the OS's encoding.
    const auto engineText = [](const char* arg) {
        return platform::fromOsPath(std::filesystem::path(arg));
    };
    try {
        const std::int32_t result = unzip::UnzipArchive(engineText(argv[1]), engineText(argv[2]),
                                                        argc == 4 ? engineText(argv[3]) : "");
        std::printf("%d\n", static_cast<int>(result));
        return result >= 0 ? 0 : 1;
    } catch (const unzip::UnzipIoError& error) {
        std::fprintf(stderr, "kavor-unzip: %s\n", error.what());
        return 1;
    }
}
