#include "unzip/unzip_archive.h"

// Stands in until the extractor lands, so that the engine links.
namespace unzip {

std::int32_t UnzipArchive(std::string_view archivePath, std::string_view targetDirectory,
                          std::string_view)
{
    if (archivePath.empty() || targetDirectory.empty())
        return kEmptyPath;
    return kNotAZipArchive;
}

} // namespace unzip
