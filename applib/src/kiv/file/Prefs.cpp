#include "kiv/file/Prefs.h"

#include "kiv/file/Dir.h"
#include "kiv/file/FileOpen.h"
#include "kiv/file/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr char kKeyPrefix[] = "SOFTWARE\\";
constexpr char kSettingsExtension[] = ".settings";
// A settings file is a handful of short lines; anything larger is not ours.
constexpr long kMaxSettingsFileBytes = 1 << 20;

struct StoredValue {
    std::string name;
    std::string value;  // as written in the file, still encoded
};

bool ProgramNameUsable(const char* name)
{
    if (!name || !name[0])
        return false;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return false;
    for (const char* p = name; *p; ++p) {
        if (*p == '/' || static_cast<unsigned char>(*p) < 32)
            return false;
    }
    return true;
}

bool NameUsable(const char* name)
{
    if (!name || !name[0])
        return false;
    for (const char* p = name; *p; ++p) {
        if (*p == '=' || *p == '\n' || *p == '\r')
            return false;
    }
    return true;
}

// The whole file, or false (errno telling why) when it cannot be read or is
// implausibly large.
bool ReadSettingsFile(const std::string& path, std::string& out)
{
    int64_t size = 0;
    int fd = file::OpenForReading(path.c_str(), &size);
    if (fd < 0)
        return false;
    if (size > kMaxSettingsFileBytes) {
        close(fd);
        errno = EFBIG;
        return false;
    }
    out.clear();
    char block[4096];
    for (;;) {
        ssize_t got = read(fd, block, sizeof(block));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int reason = errno;
            close(fd);
            errno = reason;
            return false;
        }
        if (got == 0)
            break;
        out.append(block, static_cast<size_t>(got));
        if (out.size() > static_cast<size_t>(kMaxSettingsFileBytes)) {
            close(fd);
            errno = EFBIG;
            return false;
        }
    }
    close(fd);
    return true;
}

std::vector<StoredValue> ParseSettings(const std::string& contents)
{
    std::vector<StoredValue> values;
    size_t pos = 0;
    while (pos < contents.size()) {
        size_t end = contents.find('\n', pos);
        if (end == std::string::npos)
            end = contents.size();
        std::string_view line(contents.data() + pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0)
            continue;
        values.push_back({std::string(line.substr(0, eq)), std::string(line.substr(eq + 1))});
    }
    return values;
}

const StoredValue* FindValue(const std::vector<StoredValue>& values, const char* name)
{
    for (const StoredValue& v : values) {
        if (v.name == name)
            return &v;
    }
    return nullptr;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool DecodeHex(const std::string& text, std::vector<uint8_t>& out)
{
    if (text.size() % 2 != 0)
        return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        int hi = HexDigit(text[i]);
        int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return true;
}

void EncodeHex(const uint8_t* bytes, size_t size, std::string& out)
{
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < size; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 15]);
    }
}

// Texts keep one line each: backslash, CR and LF are escaped.
void EncodeText(const char* text, size_t length, std::string& out)
{
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out.push_back(c);
    }
}

std::string DecodeText(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out.push_back(c);
            continue;
        }
        char next = text[++i];
        out.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : next);
    }
    return out;
}

}  // namespace

namespace file {

Prefs::Prefs() = default;

Prefs::~Prefs()
{
    try {
        Save();
    } catch (...) {
        // Out of memory while writing back: the old file stays, the program goes on.
    }
    m_entries.RemoveAll();
}

void Prefs::DeclareEntries(const char*) {}

void Prefs::OnLoaded() {}

int Prefs::Add(const char* name, void* buffer, int size)
{
    if (!NameUsable(name) || !buffer || size <= 0)
        return -1;
    t_pref entry;
    entry.buffer = buffer;
    entry.size = size;
    entry.text = false;
    return m_entries.Add(name, entry);
}

int Prefs::AddString(const char* name, char* buffer, int capacity)
{
    if (!NameUsable(name) || !buffer || capacity <= 0)
        return -1;
    t_pref entry;
    entry.buffer = buffer;
    entry.size = capacity;
    entry.text = true;
    return m_entries.Add(name, entry);
}

kiv::string Prefs::GetFilePath() const
{
    kiv::string path;
    if (!m_keyPath[0])
        return path;
    // Composed without creating the maker folder: only Save creates it.
    Dir folder;
    if (!folder.SetSpecialFolder(kUserAppData) || !folder.GetPath()[0])
        return path;
    path.Assign(folder.GetPath());
    path.Append(kMakerFolder);
    path.Append("/");
    path.Append(m_keyPath + strlen(kKeyPrefix));
    path.Append(kSettingsExtension);
    return path;
}

bool Prefs::Load(const char* programName)
{
    if (m_loaded)
        return true;
    if (m_entries.GetCount() == 0)
        DeclareEntries(programName);
    if (m_entries.GetCount() == 0)
        return false;
    if (!ProgramNameUsable(programName))
        return false;
    // The key path must fit its 127 bytes; a longer name names no key.
    int written = snprintf(m_keyPath, sizeof(m_keyPath), "%s%s", kKeyPrefix, programName);
    if (written < 0 || static_cast<size_t>(written) >= sizeof(m_keyPath)) {
        m_keyPath[0] = 0;
        return false;
    }

    kiv::string path = GetFilePath();
    std::string contents;
    if (path.IsEmpty())
        return false;
    if (!ReadSettingsFile(path.CStr(), contents)) {
        // A missing file is a first run; one that is there but unreadable
        // holds the user's values, which Save must then leave alone.
        const int reason = errno == EINVAL ? file::kNotRegularFile : errno;  // a pipe or device
        m_readError = reason == ENOENT || reason == ENOTDIR ? 0 : reason;
        return false;
    }
    m_readError = 0;
    std::vector<StoredValue> values = ParseSettings(contents);

    std::vector<uint8_t> bytes;
    for (int i = 0; i < m_entries.GetCount(); ++i) {
        const char* name = m_entries.GetName(i);
        t_pref* entry = m_entries.GetValue(i);
        const StoredValue* stored = FindValue(values, name);
        if (entry->text) {
            // A missing text empties its variable; a long one is cut to fit.
            char* target = static_cast<char*>(entry->buffer);
            std::string text = stored ? DecodeText(stored->value) : std::string();
            size_t length = strnlen(text.c_str(), static_cast<size_t>(entry->size) - 1);
            memcpy(target, text.data(), length);
            target[length] = 0;
            continue;
        }
        // A missing, empty or unreadable raw value leaves its variable as it was.
        if (!stored || !DecodeHex(stored->value, bytes) || bytes.empty())
            continue;
        size_t count = bytes.size() < static_cast<size_t>(entry->size) ? bytes.size() : entry->size;
        memcpy(entry->buffer, bytes.data(), count);
    }

    OnLoaded();
    m_loaded = true;
    return true;
}

bool Prefs::Save()
{
    if (m_entries.GetCount() == 0 || !m_keyPath[0])
        return false;
    app::folder folder;
    if (!folder.Open(0, kMakerFolder))
        return false;
    kiv::string path = GetFilePath();
    if (path.IsEmpty())
        return false;
    // Never over a file whose values were not read: they would become the
    // defaults, and every name this object does not know would go.
    if (!file::MayReplace(path.CStr(), m_loaded ? 0 : m_readError))
        return false;

    std::string contents;
    for (int i = 0; i < m_entries.GetCount(); ++i) {
        const char* name = m_entries.GetName(i);
        const t_pref* entry = m_entries.GetValue(i);
        contents += name;
        contents += '=';
        if (entry->text) {
            const char* text = static_cast<const char*>(entry->buffer);
            EncodeText(text, strnlen(text, static_cast<size_t>(entry->size)), contents);
        } else {
            EncodeHex(static_cast<const uint8_t*>(entry->buffer), static_cast<size_t>(entry->size), contents);
        }
        contents += '\n';
    }
    // Values this object does not declare belong to someone else: keep them.
    std::string previous;
    if (!ReadSettingsFile(path.CStr(), previous)) {
        if (errno != ENOENT && errno != ENOTDIR)
            return false;  // became unreadable since: still the user's
    } else {
        for (const StoredValue& v : ParseSettings(previous)) {
            bool declared = false;
            for (int i = 0; i < m_entries.GetCount() && !declared; ++i)
                declared = v.name == m_entries.GetName(i);
            if (!declared)
                contents += v.name + "=" + v.value + "\n";
        }
    }
    SafeFile out;
    return out.Open(path.CStr()) && out.Write(contents) && out.Commit();
}

}  // namespace file
