#include "editor/HProgressText.h"

namespace {
constexpr int kReadRetries = 8;
}

void HProgressText::Publish(const char* text)
{
    uint32_t seq = m_sequence.load(std::memory_order_relaxed);
    // Take the odd state; another writer inside means this text is dropped.
    if ((seq & 1u) != 0 ||
        !m_sequence.compare_exchange_strong(seq, seq + 1, std::memory_order_acquire, std::memory_order_relaxed))
        return;
    int i = 0;
    if (text) {
        // Release stores: a reader that sees one of these characters also
        // sees the odd sequence taken before it, so it retries.
        for (; i < editor::kProgressTextSize - 1 && text[i]; ++i)
            m_text[i].store(text[i], std::memory_order_release);
    }
    m_text[i].store(0, std::memory_order_release);
    m_sequence.store(seq + 2, std::memory_order_release);
}

bool HProgressText::ReadIfChanged(uint32_t& seen, char* out, int size) const
{
    if (!out || size <= 0)
        return false;
    for (int attempt = 0; attempt < kReadRetries; ++attempt) {
        uint32_t before = m_sequence.load(std::memory_order_acquire);
        if (before == seen)
            return false;
        if ((before & 1u) != 0)
            continue;
        int limit = size - 1 < editor::kProgressTextSize - 1 ? size - 1 : editor::kProgressTextSize - 1;
        int i = 0;
        for (; i < limit; ++i) {
            // Acquire loads keep the sequence check below after them.
            char c = m_text[i].load(std::memory_order_acquire);
            if (!c)
                break;
            out[i] = c;
        }
        out[i] = 0;
        if (m_sequence.load(std::memory_order_relaxed) == before) {
            seen = before;
            return true;
        }
    }
    return false;
}
