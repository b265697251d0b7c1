#include "kiv/gui/XBackend.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "kiv/gui/X11Backend.h"

namespace {
XBackend* g_installed = nullptr;
}

XBackend* XBackend::Get()
{
    if (g_installed)
        return g_installed;
    return X11Backend::Instance();
}

void XBackend::Install(XBackend* backend) { g_installed = backend; }

bool XBackend::OpenDocument(const char* path)
{
    if (!path || !*path)
        return false;
    const char* opener = std::getenv("KIV_OPEN_COMMAND");
    if (!opener || !*opener)
        opener = "xdg-open";
    // Two forks: the opener is adopted by init, so the host never has to
    // reap it. The path goes as one argument, never through a shell.
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        pid_t grandchild = fork();
        if (grandchild == 0) {
            execlp(opener, opener, path, static_cast<char*>(nullptr));
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    int status = 0;
    pid_t done;
    do {
        done = waitpid(child, &status, 0);
    } while (done < 0 && errno == EINTR);
    if (done < 0)
        return errno == ECHILD;  // a host that ignores SIGCHLD reaps for us
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
