#pragma once

#include <string>
#include <vector>

namespace engine {

// One file the run will fetch.
struct Tbasa
{
    std::string name; // the link's part after its last "/", upper-cased (ASCII); the saved name
    std::string url;  // the link as it stood on the page, made absolute against the page's URL
    bool ok = true;   // cleared when fetching failed; only entries still ok are unpacked
};

// The files to fetch, in page order; a link that stands twice gives two entries.
using DownloadList = std::vector<Tbasa>;

// Upper-case stems (name without its four-character extension) of the installed *.vdb files,
// in listing order, the three daily databases left out.
using InstalledDatabases = std::vector<std::string>;

} // namespace engine
