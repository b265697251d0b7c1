#include "fuzz/FuzzSeeds.h"

#include <cstdio>
#include <sys/stat.h>

namespace kivfuzz {

bool g_replayMode = false;

std::vector<std::vector<uint8_t>>& MemorySeeds()
{
    static std::vector<std::vector<uint8_t>> seeds;
    return seeds;
}

SeedCorpus::SeedCorpus(int* argc, char*** argv)
{
    if (g_replayMode || !argc || !argv)
        return;
    // The corpus folder is the last argument that is not a flag.
    for (int i = *argc - 1; i >= 1; --i) {
        const char* a = (*argv)[i];
        if (a && a[0] != '-') {
            m_dir = a;
            break;
        }
    }
    if (!m_dir.empty())
        mkdir(m_dir.c_str(), 0755);
}

void SeedCorpus::Add(const std::string& name, const std::vector<uint8_t>& bytes)
{
    Add(name, bytes.data(), bytes.size());
}

void SeedCorpus::Add(const std::string& name, const void* bytes, size_t size)
{
    if (m_dir.empty()) {
        const uint8_t* p = static_cast<const uint8_t*>(bytes);
        MemorySeeds().emplace_back(p, p + size);
        return;
    }
    std::string path = m_dir + "/seed-" + name;
    if (FILE* f = fopen(path.c_str(), "wb")) {
        if (size)
            fwrite(bytes, 1, size, f);
        fclose(f);
    }
}

}  // namespace kivfuzz
