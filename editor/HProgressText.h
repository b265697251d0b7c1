// HProgressText: one line of progress text that a worker thread (the plug-in
// scan, the missing-files search) publishes and the GUI thread picks up on
// its tick to show in a label. Workers never touch controls: the GUI copies
// the text into its own label.
//
// Threads: Publish from any thread (a publish that meets another writer's
// publish is dropped: the next one wins); Read from any number of GUI
// readers. Lock-free, no allocation, no waiting beyond a few retries.
#pragma once
#include <atomic>
#include <cstdint>

#include "editor/WindowsConst.h"

class HProgressText {
public:
    HProgressText() = default;
    HProgressText(const HProgressText&) = delete;
    HProgressText& operator=(const HProgressText&) = delete;

    // Null publishes an empty text. Longer texts are cut to the buffer.
    void Publish(const char* text);
    // Copies the latest text into out (size bytes) when it changed since
    // `seen` and updates `seen`; false when nothing new (or a writer kept
    // the text busy through every retry: the next tick tries again).
    bool ReadIfChanged(uint32_t& seen, char* out, int size) const;
    // The publish count so far (even: no publish in progress).
    uint32_t GetSequence() const { return m_sequence.load(std::memory_order_acquire); }

private:
    // A sequence lock over atomic characters: odd while a writer copies.
    std::atomic<uint32_t> m_sequence{0};
    std::atomic<char> m_text[editor::kProgressTextSize] = {};
};
