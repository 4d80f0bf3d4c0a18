#include "claimed_ranges.h"

#include <iterator>

namespace unzip {

bool ClaimedRanges::claim(std::int64_t begin, std::int64_t end)
{
    if (begin >= end)
        return true;
    auto next = m_ranges.lower_bound(begin);
    if (next != m_ranges.end() && next->first < end)
        return false;
    if (next != m_ranges.begin() && std::prev(next)->second > begin)
        return false;
    m_ranges.emplace_hint(next, begin, end);
    return true;
}

} // namespace unzip
