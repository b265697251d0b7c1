#include "editor/FavList.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "kiv/file/Dir.h"
#include "kiv/file/FileOpen.h"
#include "kiv/file/SafeFile.h"

using namespace browser;

namespace {

FavList* g_processList = nullptr;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

uint32_t ReadLe32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint32_t Swap32(uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The whole file, or false when it cannot be read or is larger than a
// favourites file can be.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    FILE* f = file::OpenStreamForReading(path.c_str());
    if (!f)
        return false;
    uint8_t buffer[4096];
    size_t n;
    bool ok = true;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        if (bytes.size() + n > static_cast<size_t>(kFavMaxFileBytes)) {
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    if (std::ferror(f))
        ok = false;
    std::fclose(f);
    return ok;
}

}  // namespace

FavList::FavList(const char* path)
{
    if (path)
        m_path = path;
}

FavList::~FavList()
{
    Save();
    Clear();
    if (g_processList == this)
        g_processList = nullptr;
}

void FavList::SetProcessList(FavList* list) { g_processList = list; }

FavList* FavList::GetProcessList() { return g_processList; }

std::string FavList::GetFilePath() const
{
    if (!m_path.empty())
        return m_path;
    app::folder folder;
    if (!folder.Open(0, kFavFolder))
        return std::string();
    const char* path = folder.GetFilePath(kFavFileName, kFavFileExt);
    return path ? std::string(path) : std::string();
}

void FavList::Clear()
{
    for (auto& entry : m_entries)
        entry.reset();
    m_count = 0;
}

void FavList::EnsureLoaded()
{
    if (m_change == 0)
        Load();
}

int FavList::GetCount()
{
    EnsureLoaded();
    return static_cast<int>(m_count);
}

bool FavList::Add(const char* path)
{
    // An edit before the first read would make the next save drop the
    // stored favourites.
    EnsureLoaded();
    if (!path || !path[0] || m_count >= static_cast<uint32_t>(kFavMaxEntries))
        return false;
    size_t length = std::strlen(path);
    auto copy = std::make_unique<char[]>(length + 1);
    std::memcpy(copy.get(), path, length + 1);
    m_entries[m_count++] = std::move(copy);
    ++m_change;
    return true;
}

bool FavList::Remove(int index)
{
    EnsureLoaded();
    if (index <= 0 || static_cast<uint32_t>(index) > m_count)
        return false;
    for (uint32_t i = static_cast<uint32_t>(index) - 1; i + 1 < m_count; ++i)
        m_entries[i] = std::move(m_entries[i + 1]);
    m_entries[--m_count].reset();
    ++m_change;
    return true;
}

const char* FavList::GetName(int i)
{
    EnsureLoaded();
    m_text.clear();
    if (i < 0 || static_cast<uint32_t>(i) >= m_count)
        return m_text.c_str();
    const char* entry = m_entries[i].get();
    size_t end = std::strlen(entry);
    if (end > 1 && IsSeparator(entry[end - 1]))
        --end;
    size_t start = end;
    while (start > 0 && !IsSeparator(entry[start - 1]))
        --start;
    m_text.assign(entry + start, end - start);
    // The root folder "/" has no name of its own: it shows as itself.
    if (m_text.empty())
        m_text = entry;
    return m_text.c_str();
}

const char* FavList::GetPath(int index)
{
    EnsureLoaded();
    m_text.clear();
    if (index > 0 && static_cast<uint32_t>(index) <= m_count)
        m_text = m_entries[index - 1].get();
    return m_text.c_str();
}

void FavList::Load()
{
    Clear();
    m_change = 1;
    std::vector<uint8_t> bytes;
    std::string path = GetFilePath();
    m_readError = 0;
    if (path.empty())
        return;
    if (!ReadWholeFile(path, bytes)) {
        m_readError = file::ReadFailure(path.c_str());
        return;
    }
    if (bytes.size() < 4)
        return;
    size_t at = 0;
    uint32_t count = ReadLe32(bytes.data());
    at += 4;
    // A count that large was written in the other byte order.
    bool swapped = count > kFavSwapAbove;
    if (swapped)
        count = Swap32(count);
    for (uint32_t n = 0; n < count && m_count < static_cast<uint32_t>(kFavMaxEntries); ++n) {
        if (bytes.size() - at < 4)
            break;
        uint32_t length = ReadLe32(bytes.data() + at);
        at += 4;
        if (swapped)
            length = Swap32(length);
        if (length > kFavMaxPathBytes || length > bytes.size() - at)
            break;
        const char* text = reinterpret_cast<const char*>(bytes.data() + at);
        at += length;
        // An entry cut at a NUL byte, or an empty one, names no folder worth
        // showing; the entries after it are still read.
        size_t shown = strnlen(text, length);
        if (shown == 0)
            continue;
        auto copy = std::make_unique<char[]>(shown + 1);
        std::memcpy(copy.get(), text, shown);
        copy[shown] = '\0';
        m_entries[m_count++] = std::move(copy);
    }
}

bool FavList::Save()
{
    if (m_change <= 1)
        return true;
    std::string path = GetFilePath();
    // The favourites of a file that could not be read are still in it.
    if (path.empty() || !file::MayReplace(path.c_str(), m_readError))
        return false;
    std::vector<uint8_t> out;
    PutLe32(out, m_count);
    for (uint32_t i = 0; i < m_count; ++i) {
        uint32_t length = static_cast<uint32_t>(std::strlen(m_entries[i].get()));
        PutLe32(out, length);
        out.insert(out.end(), m_entries[i].get(), m_entries[i].get() + length);
    }
    file::SafeFile file;
    if (!file.Open(path.c_str()) || !file.Write(out.data(), out.size()) || !file.Commit())
        return false;
    m_change = 1;
    return true;
}
