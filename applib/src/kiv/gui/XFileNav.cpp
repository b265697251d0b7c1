#include "kiv/gui/XFileNav.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "kiv/gui/XMessage.h"
#include "kiv/gui/XView.h"

extern char** environ;

namespace {

enum Mode { kOpen, kSave, kFolder };
constexpr size_t kMaxAnswer = 256 * 1024;  // bytes of a dialog's answer that are read

// A program name as found on PATH; empty when it is not there.
std::string FindOnPath(const char* name)
{
    const char* path = std::getenv("PATH");
    if (!path)
        return std::string();
    std::string folders = path;
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        std::string candidate = folders.substr(start, end - start);
        if (!candidate.empty()) {
            candidate += '/';
            candidate += name;
            if (access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return std::string();
}

bool IsKdialog(const std::string& program)
{
    size_t slash = program.rfind('/');
    return program.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos, "kdialog") == 0;
}

// Starts the program with its output on a pipe whose reading end does not
// block; false when it cannot be started.
bool Spawn(const std::vector<std::string>& args, pid_t& pid, int& readEnd)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return false;
    }
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    readEnd = fds[0];
    return true;
}

// The view whose queue takes the answer for a control: the control itself
// or its nearest ancestor that is a view.
XView* ViewOf(XControl* control)
{
    for (XControl* c = control; c; c = c->GetParent()) {
        if (auto* view = dynamic_cast<XView*>(c))
            return view;
    }
    return nullptr;
}

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(const std::string& a, const char* b, size_t length)
{
    if (a.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    }
    return true;
}

}  // namespace

void XFileNav::AddFilter(const char* extension, const char* description)
{
    m_filters.push_back(Filter{extension ? extension : "", description ? description : ""});
}

const char* XFileNav::GetName(int n) const
{
    if (n < 0 || n >= GetCount())
        return nullptr;
    return m_names[n].c_str();
}

const char* XFileNav::GetPath(int n)
{
    if (n < 0 || n >= GetCount())
        return nullptr;
    m_path = m_folder + m_names[n];
    return m_path.c_str();
}

int XFileNav::FindFilter(const char* path) const
{
    if (m_filters.empty())
        return 0;
    if (!path)
        return -1;
    // Only the last element of the path can hold the extension; stored
    // paths may use either separator.
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '/' || *p == '\\')
            name = p + 1;
    }
    size_t length = std::strlen(name);
    const char* dot = nullptr;
    for (size_t i = 1; i + 1 < length; ++i) {
        if (name[i] == '.')
            dot = name + i;
    }
    if (!dot)
        return -1;
    const char* extension = dot + 1;
    size_t extensionLength = length - static_cast<size_t>(extension - name);
    for (size_t i = 0; i < m_filters.size(); ++i) {
        if (SameText(m_filters[i].extension, extension, extensionLength))
            return static_cast<int>(i);
    }
    return -1;
}

XFileNav* XFileNav::s_open = nullptr;
int32_t XFileNav::s_requests = 0;

XFileNav* XFileNav::s_first = nullptr;

XFileNav::XFileNav(uintptr_t owner) : m_owner(owner)
{
    m_next = s_first;
    if (s_first)
        s_first->m_prev = this;
    s_first = this;
}

XFileNav::~XFileNav()
{
    if (s_open == this)
        EndProcess();
    if (m_prev)
        m_prev->m_next = m_next;
    else
        s_first = m_next;
    if (m_next)
        m_next->m_prev = m_prev;
}

bool XFileNav::OpenFile(XControl* waiter, const char* title, bool multiSelection, Answer answer)
{
    if (IsAnyOpen())
        return false;
    m_multiSelection = multiSelection;
    return StartDialog(waiter, title, kOpen, std::move(answer));
}

bool XFileNav::SaveFile(XControl* waiter, const char* title, Answer answer)
{
    if (IsAnyOpen())
        return false;
    m_multiSelection = false;
    return StartDialog(waiter, title, kSave, std::move(answer));
}

bool XFileNav::BrowseFolder(XControl* waiter, const char* title, Answer answer)
{
    if (IsAnyOpen())
        return false;
    m_multiSelection = false;
    return StartDialog(waiter, title, kFolder, std::move(answer));
}

bool XFileNav::StartDialog(XControl* waiter, const char* title, int mode, Answer answer)
{
    m_folder.clear();
    m_names.clear();
    m_output.clear();
    m_waiter = waiter;
    m_answer = std::move(answer);
    m_mode = mode;
    m_chosen = false;
    m_request = ++s_requests;
    if (const char* scripted = std::getenv("KIV_DIALOG_ANSWER")) {
        m_output = scripted;
        Finish(true);
        return true;
    }
    std::string program;
    if (const char* chosen = std::getenv("KIV_DIALOG_PROGRAM"))
        program = chosen;
    if (program.empty())
        program = FindOnPath("zenity");
    if (program.empty())
        program = FindOnPath("kdialog");
    if (program.empty() || !Spawn(MakeArguments(program, title, mode), m_pid, m_pipe)) {
        m_pid = 0;
        m_request = 0;
        ReportNoDialog(waiter, program);
        return false;
    }
    m_eof = false;
    s_open = this;
    return true;
}

void XFileNav::EndDialogWithin(XControl* root)
{
    XFileNav* nav = s_open;
    if (!nav || !root)
        return;
    XControl* c = nav->m_waiter;
    while (c && c != root)
        c = c->GetParent();
    if (c == root)
        nav->EndProcess();
}

void XFileNav::ReportNoDialog(XControl* waiter, const std::string& program)
{
    // Every caller's dialog fails alike: the user hears it here, once.
    if (program.empty())
        XMessage::Show(waiter, {"No file dialog can be shown: zenity or kdialog is needed.",
                                "Install one of them to choose files and folders."});
    else
        XMessage::Show(waiter, {"No file dialog can be shown: this program did not start:", program});
}

void XFileNav::Poll()
{
    XFileNav* nav = s_open;
    if (!nav)
        return;
    char buffer[4096];
    while (!nav->m_eof) {
        ssize_t got = read(nav->m_pipe, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;  // still open
        if (got <= 0) {
            nav->m_eof = true;
            break;
        }
        // Everything is read so the program never blocks; only the head is kept.
        size_t room = kMaxAnswer - std::min(kMaxAnswer, nav->m_output.size());
        nav->m_output.append(buffer, std::min(static_cast<size_t>(got), room));
    }
    int status = 0;
    pid_t ended = waitpid(nav->m_pid, &status, WNOHANG);
    if (ended == 0)
        return;  // output closed, the program not ended yet
    // Status 0 means the user chose; anything else (or a child lost to
    // someone else's wait) is a cancel.
    bool chose = ended == nav->m_pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    close(nav->m_pipe);
    nav->m_pipe = -1;
    nav->m_pid = 0;
    s_open = nullptr;
    nav->Finish(chose);
}

void XFileNav::Finish(bool ran)
{
    m_chosen = ran && TakeAnswer(m_output, m_mode == kFolder, m_mode == kSave);
    m_output.clear();
    Post();
}

void XFileNav::Post()
{
    XView* view = ViewOf(m_waiter);
    if (view && view->Post(XEvent{kAnswerEvent, m_request, m_chosen ? 1 : 0}))
        return;
    // Without a view to queue it (or with its queue full) the answer is
    // handed over at once.
    XEvent event{kAnswerEvent, m_request, m_chosen ? 1 : 0};
    Deliver(event);
}

bool XFileNav::Deliver(const XEvent& event)
{
    if (event.kind != kAnswerEvent)
        return false;
    for (XFileNav* nav = s_first; nav; nav = nav->m_next) {
        if (nav->m_request != event.a || nav->m_request == 0 || s_open == nav)
            continue;
        nav->m_request = 0;
        // The function may start another dialog or let go of this object.
        Answer answer = std::move(nav->m_answer);
        nav->m_answer = nullptr;
        if (answer)
            answer(*nav, event.b != 0);
        break;
    }
    return true;
}

void XFileNav::EndProcess()
{
    s_open = nullptr;
    m_request = 0;
    if (m_pipe >= 0)
        close(m_pipe);
    m_pipe = -1;
    if (m_pid <= 0)
        return;
    // The dialog goes with the object that would have taken its answer.
    kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50; ++i) {
        if (waitpid(m_pid, &status, WNOHANG) != 0) {
            m_pid = 0;
            return;
        }
        usleep(10 * 1000);
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
    m_pid = 0;
}

std::vector<std::string> XFileNav::MakeArguments(const std::string& program, const char* title, int mode) const
{
    std::string caption = title ? title : "";
    std::vector<std::string> args{program};
    if (IsKdialog(program)) {
        args.push_back("--title");
        args.push_back(caption);
        if (m_owner) {
            args.push_back("--attach");
            args.push_back(std::to_string(m_owner));
        }
        if (mode == kFolder) {
            args.push_back("--getexistingdirectory");
            return args;
        }
        args.push_back(mode == kSave ? "--getsavefilename" : "--getopenfilename");
        args.push_back(".");
        std::string filter;
        for (const Filter& f : m_filters) {
            if (!filter.empty())
                filter += '\n';
            filter += "*." + f.extension + "|" + f.description + " (*." + f.extension + ")";
        }
        args.push_back(filter);
        if (mode == kOpen && m_multiSelection) {
            args.push_back("--multiple");
            args.push_back("--separate-output");
        }
        return args;
    }
    args.push_back("--file-selection");
    args.push_back("--title=" + caption);
    if (m_owner)
        args.push_back("--attach=" + std::to_string(m_owner));
    if (mode == kFolder) {
        args.push_back("--directory");
        return args;
    }
    if (mode == kSave)
        args.push_back("--save");
    if (mode == kOpen && m_multiSelection) {
        args.push_back("--multiple");
        args.push_back("--separator=\n");
    }
    for (const Filter& f : m_filters)
        args.push_back("--file-filter=" + f.description + " (*." + f.extension + ") | *." + f.extension);
    return args;
}

bool XFileNav::TakeAnswer(const std::string& answer, bool folder, bool save)
{
    m_folder.clear();
    m_names.clear();
    std::vector<std::string> paths;
    size_t start = 0;
    while (start < answer.size()) {
        size_t end = answer.find('\n', start);
        if (end == std::string::npos)
            end = answer.size();
        std::string line = answer.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line.size() < kMaxPath && line.find('\0') == std::string::npos)
            paths.push_back(line);
        start = end + 1;
    }
    if (paths.empty())
        return false;
    if (folder) {
        m_folder = paths[0];
        if (m_folder.back() != '/')
            m_folder += '/';
        return true;
    }
    size_t slash = paths[0].rfind('/');
    if (slash == std::string::npos || slash + 1 == paths[0].size())
        return false;
    m_folder = paths[0].substr(0, slash + 1);
    size_t keep = m_multiSelection ? paths.size() : 1;
    for (size_t i = 0; i < keep && static_cast<int>(m_names.size()) < kMaxNames; ++i) {
        const std::string& p = paths[i];
        // Every name stands in the one folder the dialog shows.
        if (p.size() <= m_folder.size() || p.compare(0, m_folder.size(), m_folder) != 0 ||
            p.find('/', m_folder.size()) != std::string::npos)
            continue;
        m_names.push_back(p.substr(m_folder.size()));
    }
    if (m_names.empty()) {
        m_folder.clear();
        return false;
    }
    // A saved name without an extension takes the first filter's.
    if (save && !m_filters.empty() && FindFilter(m_names[0].c_str()) == -1 &&
        m_names[0].find('.', 1) == std::string::npos)
        m_names[0] += "." + m_filters[0].extension;
    return true;
}
