#include "unpack_step.h"

#include <string>

#include "log_texts.h"
#include "unzip/unzip_archive.h"

namespace engine {

std::string_view unpackResultText(std::int32_t result)
{
    if (result >= 0)
        return log_text::kUnpacked;
    switch (result) {
    case unzip::kNotAZipArchive:
        return log_text::kNotAZipArchive;
    case unzip::kBadCentralDirectory:
        return log_text::kBadStructure;
    // The archive could not be read on: it could not be opened again, or a member's data ended
    // before the member was complete.
    case unzip::kCannotReopenArchive:
    case unzip::kPrematureEnd:
        return log_text::kReadError;
    // A member's data are invalid, or a member could not be written (a full disk, a read-only
    // Kavor directory): the extractor gave up on the rest of the archive.
    default:
        return log_text::kUnpackingStopped;
    }
}

bool unpackDownloads(const DownloadList& downloads, const Settings& settings, UpdateSink& sink,
                     const std::atomic<bool>& stopRequested)
{
    bool allUnpacked = true;
    for (auto entry = downloads.rbegin(); entry != downloads.rend(); ++entry) {
        if (stopRequested)
            return allUnpacked;
        if (!entry->ok)
            continue;
        const std::int32_t result = unzip::UnzipArchive(settings.archpath + "\\" + entry->name,
                                                        settings.kvopath + "\\", "");
        sink.appendLine(entry->name + std::string(unpackResultText(result)));
        allUnpacked = allUnpacked && result >= 0;
    }
    return allUnpacked;
}

} // namespace engine
