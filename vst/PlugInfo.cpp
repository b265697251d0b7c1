#include "vst/PlugInfo.h"

#include <algorithm>
#include <cstring>

#include "vst/VstConstants.h"

namespace {

// Copies a text into a fixed exchange buffer, cut to fit.
void CopyCut(char* buffer, int size, const char* text)
{
    memset(buffer, 0, size);
    if (text)
        strncpy(buffer, text, size - 1);
}

}  // namespace

PlugInfo::PlugInfo() = default;
PlugInfo::~PlugInfo() = default;

const char* PlugInfo::GetDisplayName() const
{
    return m_effectName.IsEmpty() ? m_name.GetText() : m_effectName.GetText();
}

void PlugInfo::SetVendor(const char* vendor)
{
    if (vendor && vendor[0])
        m_vendor = vendor;
}

void PlugInfo::SetOtherNames(const char* names)
{
    m_otherNames.clear();
    std::string list = names ? names : "";
    size_t start = 0;
    int kept = 0;
    while (start <= list.size() && kept < plug::kMaxOtherNames) {
        size_t end = list.find('/', start);
        if (end == std::string::npos)
            end = list.size();
        const size_t before = m_otherNames.size();
        AddOtherName(list.substr(start, end - start).c_str());
        kept += m_otherNames.size() != before ? 1 : 0;
        start = end + 1;
    }
}

void PlugInfo::AddOtherName(const char* name)
{
    // Bounded, so a damaged list file cannot make every search slow.
    if (!name || !name[0] || strlen(name) > plug::kMaxFileNameBytes || strchr(name, '/') || HasOtherName(name))
        return;
    if (!m_otherNames.empty() && std::count(m_otherNames.begin(), m_otherNames.end(), '/') + 1 >= plug::kMaxOtherNames)
        return;
    if (m_name.GetText() && strcmp(m_name.GetText(), name) == 0)
        return;
    if (!m_otherNames.empty())
        m_otherNames += '/';
    m_otherNames += name;
}

bool PlugInfo::HasOtherName(const char* name) const
{
    if (!name || !name[0])
        return false;
    const size_t length = strlen(name);
    size_t start = 0;
    while (start < m_otherNames.size()) {
        size_t end = m_otherNames.find('/', start);
        if (end == std::string::npos)
            end = m_otherNames.size();
        if (end - start == length && m_otherNames.compare(start, length, name) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

void PlugInfo::Archive(ArchiFile* archive)
{
    if (!archive->ExchangeVersion(1, 1, 1))
        return;
    constexpr uint32_t kTag = fourcc("path");
    char buffer[plug::kListTextBytes];
    kiv::string* fields[] = {&m_path, &m_vendor, &m_name};
    for (kiv::string* field : fields) {
        CopyCut(buffer, sizeof(buffer), field->GetText());
        if (!archive->ExchangeChars(buffer, sizeof(buffer), kTag))
            return;
        if (archive->IsLoading()) {
            buffer[sizeof(buffer) - 1] = 0;
            if (buffer[0])
                *field = buffer;
            else
                field->Clear();
        }
    }
    archive->ExchangeInt(m_type, fourcc("type"));
    if (archive->IsLoading())
        m_found = false;
}

PlugManuf::PlugManuf(const char* vendor, std::recursive_mutex* lock) : m_vendor(vendor), m_lock(lock) {}

PlugManuf::~PlugManuf() = default;

int PlugManuf::GetCount() const
{
    std::lock_guard<std::recursive_mutex> hold(*m_lock);
    return static_cast<int>(m_items.size());
}

bool PlugManuf::HasType(int type) const
{
    std::lock_guard<std::recursive_mutex> hold(*m_lock);
    for (const auto& item : m_items) {
        if (item->GetType() == type)
            return true;
    }
    return false;
}

PlugInfo* PlugManuf::GetItem(int index) const
{
    std::lock_guard<std::recursive_mutex> hold(*m_lock);
    if (index < 0 || index >= static_cast<int>(m_items.size()))
        return nullptr;
    return m_items[index].get();
}

PlugInfo* PlugManuf::GetItemOfType(int type, int n) const
{
    std::lock_guard<std::recursive_mutex> hold(*m_lock);
    for (const auto& item : m_items) {
        if (item->GetType() == type && n-- == 0)
            return item.get();
    }
    return nullptr;
}

void PlugManuf::Insert(std::unique_ptr<PlugInfo> info)
{
    auto at = m_items.begin();
    while (at != m_items.end() && kiv::CompareNoCase((*at)->GetName(), info->GetName()) <= 0)
        ++at;
    m_items.insert(at, std::move(info));
}
