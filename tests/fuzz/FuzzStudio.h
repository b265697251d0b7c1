// The process-wide objects a host has while the plug-in runs, for the fuzz
// targets that load into a studio.
#pragma once
#include <memory>

#include "engine/GigaBankManager.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaStudio.h"

namespace kivfuzz {

struct StudioWorld {
    GigaPrefs prefs;
    GigaBankManager manager;
    GigaDiskThread disk;
    std::unique_ptr<GigaStudio> studio = GigaStudio::Create();
    // The studio goes before the objects it uses.
    ~StudioWorld() { studio.reset(); }
};

}  // namespace kivfuzz
