#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "engine/download_list.h"
#include "engine/settings.h"
#include "engine/update_sink.h"

namespace engine {

// The log text that follows an archive's name for a result of UnzipArchive.
std::string_view unpackResultText(std::int32_t result);

// Unpacks every downloaded archive (entries still ok), last to first, from archpath into
// kvopath, one log line each. Extractor I/O errors propagate. Stops early on a stop request.
// True when every archive it reached was unpacked.
bool unpackDownloads(const DownloadList& downloads, const Settings& settings, UpdateSink& sink,
                     const std::atomic<bool>& stopRequested);

} // namespace engine
