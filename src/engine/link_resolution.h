#pragma once

#include <string>

#include "engine/download_list.h"

namespace engine {

// Turns every relative link of downloads into the absolute URL it names on the page at pageUrl
// (the page's URL after its redirects), so that each file is fetched from where the page points
// and not from wherever the previous request went. Absolute links and names stay as they are.
void resolveRelativeLinks(DownloadList& downloads, const std::string& pageUrl);

} // namespace engine
