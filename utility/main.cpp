// corvane: the instrument database builder. Lists the folders to scan and
// scans them for .gig files into "corvane.db" (see MainView).
#include <cstdio>
#include <cstdlib>

#include "kiv/gui/XBackend.h"
#include "utility/MainApp.h"

int main()
{
    XBackend* backend = XBackend::Get();
    if (!backend) {
        std::fprintf(stderr, "corvane: no X display could be opened\n");
        return 1;
    }
    // The application lives in main's frame, not in a static: its window and
    // the scan thread must be gone before the display connection and the
    // library's own statics are torn down at exit.
    MainApp app;
    if (!app.Init()) {
        std::fprintf(stderr, "corvane: the window could not be made\n");
        return 1;
    }
    // Unattended runs (tests) close the window after this many milliseconds.
    if (const char* closeAfter = std::getenv("CORVANE_CLOSE_AFTER_MS"))
        app.SetCloseAfter(std::atoi(closeAfter));
    return app.Run(backend);
}
