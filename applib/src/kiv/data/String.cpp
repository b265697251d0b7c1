#include "kiv/data/String.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Texts longer than a 32-bit length can count are cut there.
constexpr size_t kMaxTextLength = INT32_MAX - 16;

size_t TextLength(const char* text)
{
    if (!text)
        return 0;
    return strnlen(text, kMaxTextLength);
}

// Allocation failures are results here, never exceptions: a text that cannot
// grow stays as it was.
char* NewText(size_t bytes)
{
    return new (std::nothrow) char[bytes];
}

unsigned char FoldUpper(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

}  // namespace

namespace kiv {

int CompareNoCase(const char* a, const char* b)
{
    if (!a)
        a = "";
    if (!b)
        b = "";
    for (;; ++a, ++b) {
        unsigned char ca = FoldUpper(*a);
        unsigned char cb = FoldUpper(*b);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
}

// ---------------------------------------------------------------- kiv::string

string::string() = default;

string::string(int n)
{
    Reserve(n);
}

string::string(const char* text)
{
    Assign(text);
}

string::string(const string& other)
{
    Assign(other.m_text);
}

string::string(string&& other) noexcept
    : m_text(other.m_text), m_capacity(other.m_capacity), m_length(other.m_length)
{
    other.m_text = nullptr;
    other.m_capacity = 0;
    other.m_length = 0;
}

string& string::operator=(const string& other)
{
    if (this != &other)
        Assign(other.m_text);
    return *this;
}

string& string::operator=(string&& other) noexcept
{
    if (this != &other) {
        delete[] m_text;
        m_text = other.m_text;
        m_capacity = other.m_capacity;
        m_length = other.m_length;
        other.m_text = nullptr;
        other.m_capacity = 0;
        other.m_length = 0;
    }
    return *this;
}

string& string::operator=(const char* text)
{
    Assign(text);
    return *this;
}

string& string::operator+=(const string& other)
{
    Append(other.m_text);
    return *this;
}

string& string::operator+=(const char* text)
{
    Append(text);
    return *this;
}

string::~string()
{
    delete[] m_text;
}

void string::Reserve(int n)
{
    if (m_capacity < n) {
        delete[] m_text;
        m_text = NewText(n);
        m_capacity = m_text ? n : 0;
    }
    // The caller writes the text itself; until then it is empty.
    if (m_text)
        m_text[0] = 0;
    m_length = 0;
}

void string::Clear()
{
    if (m_length != 0) {
        m_text[0] = 0;
        m_length = 0;
    }
}

void string::Assign(const char* text)
{
    size_t len = TextLength(text);
    if (len == 0) {
        Clear();
        return;
    }
    if (static_cast<size_t>(m_capacity) < len + 1) {
        // The source may not be ours (a larger one cannot be), so free after copying.
        char* fresh = NewText(len + 1);
        if (!fresh)
            return;
        memcpy(fresh, text, len);
        fresh[len] = 0;
        delete[] m_text;
        m_text = fresh;
        m_capacity = static_cast<int32_t>(len + 1);
    } else {
        memmove(m_text, text, len);
        m_text[len] = 0;
    }
    m_length = static_cast<int32_t>(len);
}

void string::Append(const char* text)
{
    if (!m_text) {
        Assign(text);
        return;
    }
    size_t added = TextLength(text);
    if (added == 0)
        return;
    size_t old = static_cast<size_t>(m_length);
    if (added > kMaxTextLength - old)
        added = kMaxTextLength - old;
    if (old + added >= static_cast<size_t>(m_capacity)) {
        char* fresh = NewText(old + added + 1);
        if (!fresh)
            return;
        memcpy(fresh, m_text, old);
        // text may point into our own buffer (s += s): copy before freeing it.
        memcpy(fresh + old, text, added);
        delete[] m_text;
        m_text = fresh;
        m_capacity = static_cast<int32_t>(old + added + 1);
    } else {
        memmove(m_text + old, text, added);
    }
    m_text[old + added] = 0;
    m_length = static_cast<int32_t>(old + added);
}

void string::AppendChar(char c)
{
    if (!m_text) {
        Reserve(16);
        if (!m_text)
            return;
    } else if (m_length + 1 >= m_capacity) {
        if (m_length > static_cast<int32_t>(kMaxTextLength))
            return;
        char* fresh = NewText(m_length + 16);
        if (!fresh)
            return;
        memcpy(fresh, m_text, m_length);
        delete[] m_text;
        m_text = fresh;
        m_capacity = m_length + 16;
    }
    m_text[m_length] = c;
    m_text[m_length + 1] = 0;
    ++m_length;
}

void string::UpdateLength()
{
    if (!m_text || m_capacity <= 0) {
        m_length = 0;
        return;
    }
    // A caller that filled the whole buffer gets its last byte turned into the end.
    size_t len = strnlen(m_text, static_cast<size_t>(m_capacity));
    if (len >= static_cast<size_t>(m_capacity)) {
        len = m_capacity - 1;
        m_text[len] = 0;
    }
    m_length = static_cast<int32_t>(len);
}

void string::TrimRight()
{
    while (m_length > 0 && m_text[m_length - 1] == ' ') {
        --m_length;
        m_text[m_length] = 0;
    }
}

void string::Format(const char* fmt, ...)
{
    if (!fmt) {
        Clear();
        return;
    }
    char work[1024];
    work[0] = 0;
    va_list args;
    va_start(args, fmt);
    vsnprintf(work, sizeof(work), fmt, args);
    va_end(args);
    Assign(work);
}

bool string::StartsWith(const char* text) const
{
    if (!text)
        return true;
    const char* own = CStr();
    for (; *text; ++text, ++own) {
        if (*own != *text)
            return false;
    }
    return true;
}

bool string::LessNoCase(const string& other) const
{
    return CompareNoCase(m_text, other.m_text) < 0;
}

bool string::GreaterNoCase(const string& other) const
{
    return CompareNoCase(m_text, other.m_text) > 0;
}

}  // namespace kiv

// ------------------------------------------------------------------ StringRef
// Every object that holds a buffer also holds a count, so copies can always
// share it and the last holder frees both.

StringRef::StringRef() = default;

StringRef::StringRef(const StringRef& other)
    : m_str(other.m_str), m_length(other.m_length), m_capacity(0), m_count(other.m_count)
{
    if (m_count)
        ++*m_count;
}

StringRef& StringRef::operator=(const StringRef& other)
{
    if (this == &other || m_count == other.m_count)
        return *this;
    if (other.m_count)
        ++*other.m_count;
    Release();
    m_str = other.m_str;
    m_length = other.m_length;
    m_capacity = 0;
    m_count = other.m_count;
    return *this;
}

StringRef::StringRef(const char* text, int maxLength)
{
    Init(text, maxLength);
}

StringRef::~StringRef()
{
    Release();
}

bool StringRef::Init(const char* text, int maxLength)
{
    if (m_str)
        return false;  // Init fills only an empty object
    size_t len = maxLength > 0 ? strnlen(text ? text : "", static_cast<size_t>(maxLength))
                               : TextLength(text);
    if (len == 0)
        return true;
    char* fresh = NewText(len + 1);
    int32_t* count = new (std::nothrow) int32_t(1);
    if (!fresh || !count) {
        delete[] fresh;
        delete count;
        return false;
    }
    memcpy(fresh, text, len);
    fresh[len] = 0;
    m_str = fresh;
    m_length = static_cast<int32_t>(len);
    m_capacity = static_cast<int32_t>(len + 1);
    m_count = count;
    return true;
}

int StringRef::ReverseFind(char c) const
{
    for (int i = m_length - 1; i >= 0; --i) {
        if (m_str[i] == c)
            return i;
    }
    return -1;
}

StringRef StringRef::Mid(int pos, int count) const
{
    StringRef result;
    if (m_length == 0)
        return result;
    if (pos < 0)
        pos += m_length;
    if (pos < 0 || pos >= m_length)
        return result;
    if (count > 0 && count <= m_length - pos)
        result.Init(m_str + pos, count);
    else
        result.Init(m_str + pos, 0);
    return result;
}

void StringRef::Release()
{
    if (m_count) {
        if (--*m_count <= 0) {
            delete[] m_str;
            delete m_count;
        }
    } else {
        delete[] m_str;
    }
    m_str = nullptr;
    m_length = 0;
    m_capacity = 0;
    m_count = nullptr;
}

void StringRef::Detach()
{
    if (!m_count || *m_count <= 1)
        return;
    char* fresh = NewText(m_length + 1);
    int32_t* count = new (std::nothrow) int32_t(1);
    if (!fresh || !count) {
        // Without a copy of its own this object lets go of the shared text.
        delete[] fresh;
        delete count;
        Release();
        return;
    }
    memcpy(fresh, m_str, m_length);
    fresh[m_length] = 0;
    --*m_count;
    m_str = fresh;
    m_capacity = m_length + 1;
    m_count = count;
}

void StringMut::Clear()
{
    if (m_length == 0)
        return;
    if (m_count && *m_count > 1) {
        // Other holders keep the text; this one lets go of it.
        Release();
        return;
    }
    m_str[0] = 0;
    m_length = 0;
}

void StringMut::Assign(const char* text)
{
    size_t len = TextLength(text);
    if (len == 0) {
        Clear();
        return;
    }
    bool shared = m_count && *m_count > 1;
    if (shared || static_cast<size_t>(m_capacity) < len + 1) {
        // Copy first: text may point into the buffer being released.
        char* fresh = NewText(len + 1);
        int32_t* count = new (std::nothrow) int32_t(1);
        if (!fresh || !count) {
            delete[] fresh;
            delete count;
            return;
        }
        memcpy(fresh, text, len);
        fresh[len] = 0;
        Release();
        m_str = fresh;
        m_capacity = static_cast<int32_t>(len + 1);
        m_count = count;
    } else {
        memmove(m_str, text, len);
        m_str[len] = 0;
    }
    m_length = static_cast<int32_t>(len);
}
