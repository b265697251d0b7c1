// GigaRatings: which instrument of a file read again (or renamed) is the
// same as one listed before, so its row and rating can stay. A musician's
// stars belong to a sound; the only evidence the database has of a sound is
// its name and place in the file, so the match is conservative:
//   1. the same name at the same position;
//   2. else a name that occurs once among the instruments still unmatched
//      on both sides (the instrument moved).
// Anything else (a renamed instrument, a name listed twice) starts unrated.
// Plain data, any thread.
#pragma once
#include <string>
#include <vector>

namespace GigaRatings {

struct Entry {
    std::string name;
    int position = 0;
};

// For each entry of `now`, the index of its match in `before`, or -1. No
// entry of `before` is matched twice.
std::vector<int> Match(const std::vector<Entry>& before, const std::vector<Entry>& now);

}  // namespace GigaRatings
