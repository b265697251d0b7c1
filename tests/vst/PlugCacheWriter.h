// Writes the older plug-in cache (RIFF) for the list's tests and fuzz seeds.
#pragma once
#include <string>
#include <vector>

#include "kiv/file/Riff.h"

namespace vsttest {

struct CacheEntry {
    std::string path, vendor, name;
    int type;
    bool withVendor = true;
};

inline bool WritePlugCache(const std::string& file, const std::string& root, const std::vector<CacheEntry>& entries)
{
    CRiffWriter w;
    if (!w.OpenWrite(file.c_str()))
        return false;
    w.OpenChunk("vers");
    w.WriteInt(1);
    w.CloseChunk();
    w.OpenChunk("root");
    w.WriteString(root.c_str(), static_cast<int>(root.size()) + 1);
    w.CloseChunk();
    w.OpenChunk("LIST", "PLUG");
    for (const CacheEntry& e : entries) {
        w.OpenChunk("RIFF", "PLUG");
        w.OpenChunk("path");
        w.WriteString(e.path.c_str(), static_cast<int>(e.path.size()) + 1);
        w.CloseChunk();
        if (e.withVendor) {
            w.OpenChunk("vndr");
            w.WriteString(e.vendor.c_str(), static_cast<int>(e.vendor.size()) + 1);
            w.CloseChunk();
        }
        w.OpenChunk("name");
        w.WriteString(e.name.c_str(), static_cast<int>(e.name.size()) + 1);
        w.CloseChunk();
        w.OpenChunk("type");
        w.WriteInt(e.type);
        w.CloseChunk();
        w.CloseChunk();
    }
    w.CloseChunk();
    return w.Close();
}

}  // namespace vsttest
