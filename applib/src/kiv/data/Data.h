// kiv::data: a byte block, owned or borrowed. Carries host chunks, archive
// images in memory and blobs in archives. Single-threaded value type.
#pragma once
#include <cstdint>

namespace kiv {

class data {
public:
    data();
    data(void* p, int size);  // borrows p
    data(const data& other);  // copies the bytes into an owned block
    data& operator=(const data& other);
    data(data&& other) noexcept;
    data& operator=(data&& other) noexcept;
    virtual ~data();

    // Allocates size zeroed bytes (owned); an earlier owned block is freed.
    bool Alloc(int size);
    void Free();
    void Borrow(void* p, int size);  // frees an owned block first

    uint8_t* GetBytes() const { return m_bytes; }
    int GetSize() const { return m_size; }
    bool IsOwned() const { return m_owned; }

private:
    uint8_t* m_bytes = nullptr;
    int32_t m_size = 0;
    bool m_owned = false;
};

}  // namespace kiv
