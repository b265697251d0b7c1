// PlugInfo: one effect or instrument plug-in library of the user's plug-in
// folder, as the list knows it; PlugManuf: the entries of one vendor, sorted
// by name. Both belong to the process-wide PlugInfoList, which guards them
// with its lock; a PlugInfo lives as long as its list.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kiv/data/String.h"
#include "kiv/file/Archive.h"

class PlugInfo : public Archivable {
public:
    PlugInfo();
    ~PlugInfo() override;

    // Texts are null when unknown.
    const char* GetPath() const { return m_path.GetText(); }
    const char* GetName() const { return m_name.GetText(); }
    const char* GetEffectName() const { return m_effectName.GetText(); }
    const char* GetVendor() const { return m_vendor.GetText(); }
    // The name the plug-in reported when loaded, else the file name.
    const char* GetDisplayName() const;
    void SetPath(const char* path) { m_path = path; }
    void SetName(const char* name) { m_name = name; }
    void SetEffectName(const char* name) { m_effectName = name; }
    // An empty text keeps the old vendor.
    void SetVendor(const char* vendor);

    uint32_t GetFormat() const { return m_format; }
    void SetFormat(uint32_t format) { m_format = format; }
    // 1 effect, 2 instrument, 0 failed or crashed while probed, -1 not probed.
    int GetType() const { return m_type; }
    void SetType(int type) { m_type = type; }
    // Set when the current scan or the cache import saw the entry.
    bool IsFound() const { return m_found; }
    void SetFound(bool found) { m_found = found; }
    // An entry can be offered and opened when its path is known.
    bool IsAvailable() const { return !m_path.IsEmpty(); }

    // The other file names of the library: links to it under another name
    // and the real file's own name, '/'-separated (no file name holds a
    // '/'). The entry keeps its one listed name; a search finds it by any.
    // Not part of the entry's archive: the list stores them after its
    // entries, where older readers never look.
    const std::string& GetOtherNames() const { return m_otherNames; }
    void SetOtherNames(const char* names);
    // Adds a name unless it is the listed name or known already.
    void AddOtherName(const char* name);
    bool HasOtherName(const char* name) const;

    // Path, vendor and name as 512-byte texts (longer ones are cut at a
    // character boundary of the buffer), then the type.
    void Archive(ArchiFile* archive) override;

private:
    kiv::string m_path;
    kiv::string m_name;
    kiv::string m_effectName;
    kiv::string m_vendor;
    std::string m_otherNames;
    uint32_t m_format = 0;
    int m_type = -1;
    bool m_found = false;
};

// The entries of one vendor. Reading operations take the owning list's lock,
// so the GUI may read while a scan files new entries.
class PlugManuf {
public:
    PlugManuf(const char* vendor, std::recursive_mutex* lock);
    ~PlugManuf();
    PlugManuf(const PlugManuf&) = delete;
    PlugManuf& operator=(const PlugManuf&) = delete;

    const char* GetVendor() const { return m_vendor.CStr(); }
    int GetCount() const;
    bool HasType(int type) const;
    PlugInfo* GetItem(int index) const;
    // The n-th entry of the type; null when there are fewer.
    PlugInfo* GetItemOfType(int type, int n) const;

private:
    friend class PlugInfoList;
    // After every entry whose name sorts equal or before it.
    void Insert(std::unique_ptr<PlugInfo> info);

    kiv::string m_vendor;
    std::vector<std::unique_ptr<PlugInfo>> m_items;
    std::recursive_mutex* m_lock;
};
