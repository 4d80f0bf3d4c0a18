#include "link_resolution.h"

#include "http/id_url_reference.h"

namespace engine {

void resolveRelativeLinks(DownloadList& downloads, const std::string& pageUrl)
{
    for (Tbasa& entry : downloads) {
        if (!http::HasUrlScheme(entry.url))
            entry.url = http::ResolveUrlReference(pageUrl, entry.url);
    }
}

} // namespace engine
