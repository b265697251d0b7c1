#include "kiv/data/Data.h"

#include <cstring>
#include <new>

namespace kiv {

data::data() = default;

data::data(void* p, int size)
{
    Borrow(p, size);
}

data::data(const data& other)
{
    if (other.m_bytes && other.m_size > 0 && Alloc(other.m_size))
        memcpy(m_bytes, other.m_bytes, other.m_size);
}

data& data::operator=(const data& other)
{
    if (this == &other)
        return *this;
    Free();
    if (other.m_bytes && other.m_size > 0 && Alloc(other.m_size))
        memcpy(m_bytes, other.m_bytes, other.m_size);
    return *this;
}

data::data(data&& other) noexcept
    : m_bytes(other.m_bytes), m_size(other.m_size), m_owned(other.m_owned)
{
    other.m_bytes = nullptr;
    other.m_size = 0;
    other.m_owned = false;
}

data& data::operator=(data&& other) noexcept
{
    if (this != &other) {
        Free();
        m_bytes = other.m_bytes;
        m_size = other.m_size;
        m_owned = other.m_owned;
        other.m_bytes = nullptr;
        other.m_size = 0;
        other.m_owned = false;
    }
    return *this;
}

data::~data()
{
    Free();
}

bool data::Alloc(int size)
{
    if (size <= 0)
        return false;
    // A block held before is let go rather than leaked.
    Free();
    uint8_t* bytes = new (std::nothrow) uint8_t[size]();
    if (!bytes)
        return false;
    m_bytes = bytes;
    m_size = size;
    m_owned = true;
    return true;
}

void data::Free()
{
    if (m_owned)
        delete[] m_bytes;
    m_bytes = nullptr;
    m_size = 0;
    m_owned = false;
}

void data::Borrow(void* p, int size)
{
    Free();
    m_bytes = static_cast<uint8_t*>(p);
    m_size = p && size > 0 ? size : 0;
    m_owned = false;
}

}  // namespace kiv
