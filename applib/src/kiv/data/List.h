// T_List: a name-keyed, singly linked entry list (the settings of
// file::Prefs). Each node is one allocation: the link, the name's size, the
// name inline and then the value, aligned for its type. Unsorted lists keep
// the order of Add; sorted ones keep names in case-insensitive order. Indexed
// access walks from a one-entry cursor, so ascending walks cost one step per
// entry. Single-threaded value type; not copyable.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#include "kiv/data/String.h"

template <class T>
class T_List {
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "value needs a stronger alignment than new gives");

public:
    explicit T_List(bool sorted = false) : m_sorted(sorted) {}
    ~T_List() { RemoveAll(); }
    T_List(const T_List&) = delete;
    T_List& operator=(const T_List&) = delete;

    // Unsorted: appends and returns the previous count. Sorted: inserts before
    // the first entry whose name sorts after name and returns its index.
    // -1 when the name is too long for its 16-bit size.
    int Add(const char* name, const T& value)
    {
        if (!name)
            name = "";
        size_t nameSize = strnlen(name, kMaxNameSize) + 1;
        if (nameSize > kMaxNameSize)
            return -1;
        Node* node = NewNode(name, nameSize, value);
        if (!m_sorted) {
            *m_tail = node;
            m_tail = &node->next;
            return m_count++;
        }
        int index = 0;
        Node** link = &m_head;
        while (*link && kiv::CompareNoCase((*link)->Name(), name) <= 0) {
            link = &(*link)->next;
            ++index;
        }
        node->next = *link;
        *link = node;
        if (!node->next)
            m_tail = &node->next;
        // The cursor's index moved when the node went in before it.
        if (m_cursorIndex >= index) {
            m_cursor = nullptr;
            m_cursorIndex = -1;
        }
        ++m_count;
        return index;
    }

    int GetCount() const { return m_count; }
    bool IsSorted() const { return m_sorted; }

    // Entry i, or null when i is out of range.
    const char* GetName(int i)
    {
        Node* node = Seek(i);
        return node ? node->Name() : nullptr;
    }
    T* GetValue(int i)
    {
        Node* node = Seek(i);
        return node ? node->Value() : nullptr;
    }

    void RemoveAll()
    {
        Node* node = m_head;
        while (node) {
            Node* next = node->next;
            node->Value()->~T();
            ::operator delete(node);
            node = next;
        }
        m_head = nullptr;
        m_tail = &m_head;
        m_cursor = nullptr;
        m_cursorIndex = -1;
        m_count = 0;
    }

private:
    static constexpr size_t kMaxNameSize = 0xFFFF;  // name bytes with the NUL

    struct Node {
        Node* next;
        uint16_t nameSize;  // including the NUL

        char* Name() { return reinterpret_cast<char*>(this) + sizeof(Node); }
        T* Value() { return reinterpret_cast<T*>(reinterpret_cast<char*>(this) + ValueOffset(nameSize)); }
    };

    // The value follows the name, rounded up so an odd-length name never
    // leaves it misaligned.
    static size_t ValueOffset(size_t nameSize)
    {
        size_t end = sizeof(Node) + nameSize;
        return (end + alignof(T) - 1) / alignof(T) * alignof(T);
    }

    static Node* NewNode(const char* name, size_t nameSize, const T& value)
    {
        void* block = ::operator new(ValueOffset(nameSize) + sizeof(T));
        Node* node = static_cast<Node*>(block);
        node->next = nullptr;
        node->nameSize = static_cast<uint16_t>(nameSize);
        memcpy(node->Name(), name, nameSize - 1);
        node->Name()[nameSize - 1] = 0;
        try {
            new (node->Value()) T(value);
        } catch (...) {
            ::operator delete(block);
            throw;
        }
        return node;
    }

    Node* Seek(int i)
    {
        if (i < 0 || i >= m_count)
            return nullptr;
        Node* node = m_head;
        int at = 0;
        if (m_cursor && m_cursorIndex <= i) {
            node = m_cursor;
            at = m_cursorIndex;
        }
        for (; at < i; ++at)
            node = node->next;
        m_cursor = node;
        m_cursorIndex = i;
        return node;
    }

    Node* m_head = nullptr;
    Node** m_tail = &m_head;  // the link the next append fills
    Node* m_cursor = nullptr;
    int m_cursorIndex = -1;
    int32_t m_count = 0;
    bool m_sorted;
};
