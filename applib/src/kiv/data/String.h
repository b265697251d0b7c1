// Text types of the library: kiv::string (owned, growable), StringRef
// (reference-counted, shared between copies) and StringMut (its modifiable
// form). Single-threaded value types; texts are 8-bit and NUL-terminated.
// Growth is by exact sizes; a text that cannot grow (out of memory) stays as
// it was rather than throwing.
#pragma once
#include <cstdint>

namespace kiv {

// Case-insensitive order of two texts with only a-z folded to A-Z: <0, 0 or
// >0. At the first difference the characters decide; a text that ends first
// sorts first. Null counts as empty.
int CompareNoCase(const char* a, const char* b);

class string {
public:
    string();
    explicit string(int n);  // reserves n bytes for direct writing, text empty
    string(const char* text);
    string(const string& other);
    string(string&& other) noexcept;
    string& operator=(const string& other);
    string& operator=(string&& other) noexcept;
    string& operator=(const char* text);
    string& operator+=(const string& other);
    string& operator+=(const char* text);
    virtual ~string();

    // The buffer: null for a string that never held text.
    const char* GetText() const { return m_text; }
    char* GetBuffer() { return m_text; }
    // Never null: "" for a string without text.
    const char* CStr() const { return m_text ? m_text : ""; }
    int GetLength() const { return m_length; }
    int GetCapacity() const { return m_capacity; }
    bool IsEmpty() const { return m_length == 0; }

    // Makes room for n bytes (the old text is dropped); the text is empty
    // afterwards. Without memory the string is left with no buffer.
    void Reserve(int n);
    void Clear();
    void Assign(const char* text);
    void Append(const char* text);
    void AppendChar(char c);
    void UpdateLength();
    void TrimRight();
    // Formats into a 1024-byte work buffer (longer results are cut).
    void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    bool StartsWith(const char* text) const;
    bool LessNoCase(const string& other) const;
    bool GreaterNoCase(const string& other) const;

private:
    char* m_text = nullptr;
    int32_t m_capacity = 0;
    int32_t m_length = 0;
};

}  // namespace kiv

class StringRef {
public:
    StringRef();
    StringRef(const StringRef& other);
    StringRef& operator=(const StringRef& other);
    StringRef(const char* text, int maxLength = -1);
    virtual ~StringRef();

    bool Init(const char* text, int maxLength);
    const char* GetText() const { return m_str; }
    const char* CStr() const { return m_str ? m_str : ""; }
    int GetLength() const { return m_length; }
    int ReverseFind(char c) const;
    // A negative pos counts from the end; a pos at or beyond the length gives
    // an empty text; count 0 (or past the end) takes the rest.
    StringRef Mid(int pos, int count) const;

protected:
    void Release();
    void Detach();  // makes the buffer this object's own before a change

    char* m_str = nullptr;
    int32_t m_length = 0;
    int32_t m_capacity = 0;
    int32_t* m_count = nullptr;
};

class StringMut : public StringRef {
public:
    using StringRef::StringRef;
    void Clear();
    void Assign(const char* text);
};
