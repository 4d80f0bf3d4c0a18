#pragma once

#include <cstdint>
#include <map>

namespace unzip {

// The byte ranges of an archive that members have taken so far. Each member may take its own
// local header and data only once: archives whose members share bytes (the overlapping-member
// zip bomb) would otherwise expand the same data again and again.
class ClaimedRanges
{
public:
    // Takes [begin, end) unless it meets a range taken before; false then, and nothing is taken.
    // An empty range meets nothing.
    bool claim(std::int64_t begin, std::int64_t end);

private:
    std::map<std::int64_t, std::int64_t> m_ranges; // begin -> end, disjoint
};

} // namespace unzip
