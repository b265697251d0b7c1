// A small stand-in for libFuzzer when the compiler is not clang: runs every
// seed, then a number of mutations of them. The mutations follow a random
// seed, new each run and printed first, or the one given (a failure
// replays): fuzz_<Name> [runs [seed]].
#include "fuzz/FuzzSeeds.h"

#include <cstdio>
#include <cstdlib>
#include <random>

extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int*, char***);

namespace {

uint64_t g_state = 0x9E3779B97F4A7C15ull;

// Spreads the seed's bits over the state (never zero, which xorshift keeps).
void SeedState(uint64_t seed)
{
    uint64_t z = seed + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    g_state = (z ^ (z >> 31)) | 1u;
}

uint64_t Next()
{
    g_state ^= g_state << 13;
    g_state ^= g_state >> 7;
    g_state ^= g_state << 17;
    return g_state;
}

void Mutate(std::vector<uint8_t>& v)
{
    int edits = 1 + static_cast<int>(Next() % 8);
    for (int e = 0; e < edits; ++e) {
        switch (Next() % 5) {
        case 0:  // flip a byte
            if (!v.empty())
                v[Next() % v.size()] ^= static_cast<uint8_t>(1u << (Next() % 8));
            break;
        case 1:  // random byte
            if (!v.empty())
                v[Next() % v.size()] = static_cast<uint8_t>(Next());
            break;
        case 2:  // truncate
            if (!v.empty())
                v.resize(Next() % v.size());
            break;
        case 3:  // insert
            v.insert(v.begin() + static_cast<long>(v.empty() ? 0 : Next() % v.size()),
                     static_cast<uint8_t>(Next()));
            break;
        default:  // large 32-bit value somewhere
            if (v.size() >= 4) {
                size_t at = Next() % (v.size() - 3);
                uint32_t x = (Next() & 1) ? 0xFFFFFFFFu : static_cast<uint32_t>(Next());
                for (int i = 0; i < 4; ++i)
                    v[at + i] = static_cast<uint8_t>(x >> (8 * i));
            }
            break;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    kivfuzz::g_replayMode = true;
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    long runs = argc > 1 ? atol(argv[1]) : 2000;
    unsigned long long seed = argc > 2 ? strtoull(argv[2], nullptr, 10) : std::random_device()();
    SeedState(seed);
    printf("fuzz replay: seed %llu (replay with: %s %ld %llu)\n", seed, argv[0], runs, seed);
    fflush(stdout);
    auto& seeds = kivfuzz::MemorySeeds();
    if (seeds.empty())
        seeds.emplace_back();
    for (auto& s : seeds)
        LLVMFuzzerTestOneInput(s.data(), s.size());
    for (long i = 0; i < runs; ++i) {
        std::vector<uint8_t> v = seeds[Next() % seeds.size()];
        Mutate(v);
        LLVMFuzzerTestOneInput(v.data(), v.size());
    }
    printf("fuzz replay: %zu seeds, %ld mutations\n", seeds.size(), runs);
    return 0;
}
