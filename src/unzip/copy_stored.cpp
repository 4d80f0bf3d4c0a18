#include "copy_stored.h"

#include <algorithm>

#include "unzip/unzip_archive.h"

namespace unzip {

std::int32_t CopyStored(ByteSource& source, OutputWindow& window, std::int64_t compressedSize)
{
    std::int64_t copied = 0;
    while (copied < compressedSize) {
        const auto chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(compressedSize - copied, OutputWindow::kSize));
        const auto got = source.read(window.data(), chunk);
        if (got.error || got.count != chunk)
            return kPrematureEnd;
        if (!window.FlushOutput(chunk))
            return kOutputFailed;
        copied += static_cast<std::int64_t>(chunk);
    }
    return 0;
}

} // namespace unzip
