#include "fuzz_targets.h"

namespace fuzz {

std::span<const Target> allTargets()
{
    static constexpr Target kTargets[] = {
        {"unzip_archive", unzipArchive},
        {"inflate", inflate},
        {"explode", explode},
        {"unshrink", unshrink},
        {"url", url},
        {"cookie", cookie},
        {"http_response", httpResponse},
        {"url_reference", urlReference},
        {"connect_answer", connectAnswer},
        {"page_scan", pageScan},
        {"ini_file", iniFile},
        {"password", password},
    };
    return kTargets;
}

} // namespace fuzz
