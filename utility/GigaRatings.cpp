#include "utility/GigaRatings.h"

#include <unordered_map>

namespace GigaRatings {

std::vector<int> Match(const std::vector<Entry>& before, const std::vector<Entry>& now)
{
    std::vector<int> match(now.size(), -1);
    std::vector<bool> taken(before.size(), false);
    // 1. Unchanged: name and place.
    std::unordered_map<int, std::vector<int>> atPosition;
    for (size_t b = 0; b < before.size(); ++b)
        atPosition[before[b].position].push_back(static_cast<int>(b));
    for (size_t n = 0; n < now.size(); ++n) {
        auto found = atPosition.find(now[n].position);
        if (found == atPosition.end())
            continue;
        for (int b : found->second) {
            if (!taken[b] && before[b].name == now[n].name) {
                match[n] = b;
                taken[b] = true;
                break;
            }
        }
    }
    // 2. Moved: a name that stands for one instrument on each side.
    struct Seen {
        int count = 0;
        int index = -1;
    };
    std::unordered_map<std::string, Seen> left, right;
    for (size_t b = 0; b < before.size(); ++b) {
        if (taken[b])
            continue;
        Seen& seen = left[before[b].name];
        ++seen.count;
        seen.index = static_cast<int>(b);
    }
    for (size_t n = 0; n < now.size(); ++n) {
        if (match[n] >= 0)
            continue;
        Seen& seen = right[now[n].name];
        ++seen.count;
        seen.index = static_cast<int>(n);
    }
    for (const auto& [name, seen] : right) {
        auto other = left.find(name);
        if (seen.count == 1 && other != left.end() && other->second.count == 1)
            match[seen.index] = other->second.index;
    }
    return match;
}

}  // namespace GigaRatings
