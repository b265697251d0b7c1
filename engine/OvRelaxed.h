// OvRelaxed: a setting one thread (the GUI, the loader) writes while another
// (the audio thread) reads it: a relaxed atomic that reads and assigns like
// the plain value. Each value stands alone; nothing is ordered by it.
#pragma once
#include <atomic>

template <typename T>
class OvRelaxed {
    static_assert(std::atomic<T>::is_always_lock_free, "the audio thread never locks");

public:
    OvRelaxed() noexcept : m_value(T()) {}
    explicit OvRelaxed(T value) noexcept : m_value(value) {}
    OvRelaxed(const OvRelaxed& other) noexcept : m_value(other.Load()) {}
    OvRelaxed& operator=(const OvRelaxed& other) noexcept
    {
        Store(other.Load());
        return *this;
    }
    OvRelaxed& operator=(T value) noexcept
    {
        Store(value);
        return *this;
    }
    operator T() const noexcept { return Load(); }
    T Load() const noexcept { return m_value.load(std::memory_order_relaxed); }
    void Store(T value) noexcept { m_value.store(value, std::memory_order_relaxed); }

private:
    std::atomic<T> m_value;
};
