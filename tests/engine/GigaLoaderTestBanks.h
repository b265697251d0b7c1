// Test banks and doubles shared by the loader, streaming and player tests.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "engine/OvView.h"
#include "gig/GigWriter.h"
#include "kiv/data/FourCC.h"
#include "support/TestSupport.h"

namespace loadertest {

// A bank of `instruments` instruments; every instrument plays the same
// `samples` mono 16-bit samples of `frames` frames (shared samples), one
// region per sample.
inline bool WriteBank(const std::string& path, int instruments = 2, int samples = 2,
                      uint32_t frames = 2000, int bendRange = 2)
{
    gigtools::GigBuilder b;
    std::vector<int> handles;
    for (int s = 0; s < samples; ++s)
        handles.push_back(b.AddSample(gigtools::GigSample::Tone(
            kivtest::Numbered("S", s), 1, 16, 44100, 48 + s * 12, frames)));
    for (int i = 0; i < instruments; ++i) {
        gigtools::GigInstrument ins("Instrument " + std::to_string(i));
        ins.bendRange = bendRange;
        for (int s = 0; s < samples; ++s)
            ins.regions.push_back(gigtools::GigRegion::Single(36 + s * 12, 47 + s * 12, handles[s]));
        b.AddInstrument(ins);
    }
    return b.Write(path);
}

// Collects the editor events a player posts.
class EventLog : public OvEventTarget {
public:
    bool PostEvent(const XEvent& event) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_events.push_back(event);
        return true;
    }
    std::vector<XEvent> Events()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_events;
    }
    int CountLoaded(int a)
    {
        int n = 0;
        for (const XEvent& e : Events())
            if (e.kind == static_cast<int32_t>(fourcc("OvTL")) && e.a == a)
                ++n;
        return n;
    }

private:
    std::mutex m_lock;
    std::vector<XEvent> m_events;
};

// Counts tones that are loading samples at the same time (state 3 until a
// final state), over every tone it watches.
class OverlapView : public OvToneView {
public:
    void OnToneEvent(OvTone* tone, uint32_t code, int value) override
    {
        if (code != fourcc("stat"))
            return;
        std::lock_guard<std::mutex> lock(m_lock);
        bool active = false;
        for (OvTone* t : m_active)
            active = active || t == tone;
        if (value == 2 || value == 3) {
            if (!active) {
                m_active.push_back(tone);
                if (static_cast<int>(m_active.size()) > m_max)
                    m_max = static_cast<int>(m_active.size());
            }
        } else if (active) {
            for (size_t i = 0; i < m_active.size(); ++i)
                if (m_active[i] == tone) {
                    m_active.erase(m_active.begin() + static_cast<long>(i));
                    break;
                }
        }
    }
    int MaxConcurrent()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_max;
    }

private:
    std::mutex m_lock;
    std::vector<OvTone*> m_active;
    int m_max = 0;
};

}  // namespace loadertest
