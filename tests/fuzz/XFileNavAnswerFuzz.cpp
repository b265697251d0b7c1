// Feeds arbitrary bytes as a file dialog's answer (whatever the dialog
// program printed) in each mode, and as a path to the filter lookup: the
// names taken stay in one folder, within the limits, and never hold a
// separator.
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/FuzzSeeds.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XFileNav.h"

// fuzz-runs: 20000

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string answer(reinterpret_cast<const char*>(data), size);
    XFileNav nav;
    nav.AddFilter("tv2", "Performance");
    nav.AddFilter("TVP", "Older performance");
    for (int mode : {3, 0, 1, 2}) {
        if (mode == 3) {
            // A scripted answer (set below): no dialog program runs; it leaves
            // multi-selection on for the next input.
            nav.OpenFile(nullptr, "x", true, nullptr);
            continue;
        }
        bool taken = nav.TakeAnswer(answer, mode == 1, mode == 2);
        if (!taken)
            continue;
        size_t folder = std::strlen(nav.GetFolder());
        if (folder == 0 || nav.GetFolder()[folder - 1] != '/' || nav.GetCount() > XFileNav::kMaxNames)
            __builtin_trap();
        for (int i = 0; i < nav.GetCount(); ++i) {
            const char* name = nav.GetName(i);
            if (!name || !*name || std::strchr(name, '/') || !nav.GetPath(i))
                __builtin_trap();
            int filter = nav.FindFilter(nav.GetPath(i));
            if (filter < -1 || filter > 1)
                __builtin_trap();
        }
    }
    if (nav.FindFilter(answer.c_str()) < -1)
        __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("KIV_DIALOG_ANSWER", "/a/b.tv2\n", 1);
    kivfuzz::SeedCorpus seeds(argc, argv);
    const char* single = "/home/u/perf/song.tv2\n";
    const char* several = "/lib/a.gig\n/lib/b.gig\r\n/other/c.gig\n/lib/sub/d.gig\n";
    seeds.Add("single", single, std::strlen(single));
    seeds.Add("several", several, std::strlen(several));
    return 0;
}
