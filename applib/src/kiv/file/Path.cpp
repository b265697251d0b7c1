#include "kiv/file/Path.h"

#include <cstring>
#include <strings.h>

namespace file {

Path::Path(const char* path) { Set(path); }

Path::~Path() = default;

bool Path::Set(const char* path)
{
    m_path.Assign(path ? path : "");
    int slash = m_path.ReverseFind('/');
    int backslash = m_path.ReverseFind('\\');
    m_lastSeparator = slash > backslash ? slash : backslash;
    m_lastDot = m_path.ReverseFind('.');
    return m_lastSeparator >= 0 && m_lastDot > m_lastSeparator;
}

StringRef Path::GetTitle() const
{
    if (m_lastSeparator < 0)
        return StringRef();
    int start = m_lastSeparator + 1;
    int end = m_lastDot > m_lastSeparator ? m_lastDot : m_path.GetLength();
    // Mid with a count of 0 would give the rest of the text, extension and
    // all: a name like ".txt" has an empty title.
    if (end <= start)
        return StringRef();
    return m_path.Mid(start, end - start);
}

bool IsGigName(const char* name)
{
    size_t length = name ? strlen(name) : 0;
    return length >= 5 && name[length - 4] == '.' && strcasecmp(name + length - 3, "gig") == 0;
}

}  // namespace file
