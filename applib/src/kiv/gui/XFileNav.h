// XFileNav: the open and save file dialogs (extension filters, several
// files at once) and the folder browser. The dialog is the desktop's own,
// run as a child process: "zenity", else "kdialog". The GUI keeps running
// while it is open: the calls return at once, and the answer comes back as
// an event (kAnswerEvent) in the queue of the waiting control's view; when
// that view drains its queue the answer is handed to the caller's function.
// One dialog is open at a time in the process: a request while one is open
// is refused. When no dialog program can be run, the user is told so in a
// notice (XMessage) over the waiting control's view, and the request fails.
// Two environment variables serve tests and unusual desktops:
//   KIV_DIALOG_PROGRAM  a program run instead, with zenity's arguments;
//   KIV_DIALOG_ANSWER   no program is run: the value is the answer, one
//                       chosen path a line (empty = the user cancelled),
//                       posted at once.
// Owned by the waiting control for as long as it may answer: destroying it
// ends its dialog, and an answer still queued for it is dropped. GUI thread
// only.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kiv/data/FourCC.h"

class XControl;
struct XEvent;

class XFileNav {
public:
    static constexpr int kMaxNames = 64;       // names kept from one selection
    static constexpr size_t kMaxPath = 4096;   // longer paths are dropped, never cut
    // The answer's event: {kAnswerEvent, the request's number, 1 chosen / 0 not}.
    static constexpr int32_t kAnswerEvent = static_cast<int32_t>(fourcc("fnav"));
    // Called with this object and whether the user chose.
    using Answer = std::function<void(XFileNav& nav, bool chosen)>;

    // owner: the window the dialog belongs to (0 = none).
    explicit XFileNav(uintptr_t owner = 0);
    XFileNav(const XFileNav&) = delete;
    XFileNav& operator=(const XFileNav&) = delete;
    virtual ~XFileNav();

    // Extension without its leading '.', shown with its description.
    void AddFilter(const char* extension, const char* description);
    // Start the dialog for the waiting control; false (and no answer ever)
    // when a dialog is already open or none can be started (the user is
    // told of the latter).
    bool OpenFile(XControl* waiter, const char* title, bool multiSelection, Answer answer);
    bool SaveFile(XControl* waiter, const char* title, Answer answer);
    bool BrowseFolder(XControl* waiter, const char* title, Answer answer);
    // This object's dialog is open (its answer has not been posted yet).
    bool IsOpen() const { return s_open == this; }
    static bool IsAnyOpen() { return s_open != nullptr; }

    // A window is closing: the open dialog goes with it when its waiting
    // control lies in the tree of `root` (a dialog of another window stays).
    // No answer comes, as when the user cancels and nobody listens.
    static void EndDialogWithin(XControl* root);

    // Each window's tick: reads what the open dialog wrote and, once it
    // ended, posts its answer. Never waits.
    static void Poll();
    // A view draining its queue hands the answer's event here; false for an
    // event of another kind.
    static bool Deliver(const XEvent& event);

    // The chosen folder, ending with '/'.
    const char* GetFolder() const { return m_folder.c_str(); }
    int GetCount() const { return static_cast<int>(m_names.size()); }
    const char* GetName(int n) const;
    // Folder + n-th name, valid until the next call; null for a name that
    // does not exist.
    const char* GetPath(int n);
    // Index of the filter whose extension the path has (case-insensitive);
    // -1 when none has it or the path has no extension; 0 without filters.
    int FindFilter(const char* path) const;

    // Takes a dialog's answer (one path a line); false when it names nothing
    // usable.
    bool TakeAnswer(const std::string& answer, bool folder, bool save);

private:
    struct Filter {
        std::string extension;
        std::string description;
    };
    bool StartDialog(XControl* waiter, const char* title, int mode, Answer answer);
    // The notice that no dialog program could be run (none found: empty).
    static void ReportNoDialog(XControl* waiter, const std::string& program);
    std::vector<std::string> MakeArguments(const std::string& program, const char* title, int mode) const;
    // Takes the dialog's answer and posts it to the waiter's view.
    void Finish(bool ran);
    void Post();
    void EndProcess();

    // Every object, for answers in a queue, chained through the objects
    // themselves: the chain owns no memory, so it neither leaks at unload
    // nor can be destroyed before an object that still leaves it.
    static XFileNav* s_first;
    static XFileNav* s_open;  // the object whose dialog is open
    static int32_t s_requests;            // numbers the requests

    uintptr_t m_owner;
    XFileNav* m_prev = nullptr;  // the chain of every object (GUI thread)
    XFileNav* m_next = nullptr;
    XControl* m_waiter = nullptr;
    Answer m_answer;
    int32_t m_request = 0;  // number of the request whose answer may still come
    int m_mode = 0;
    bool m_chosen = false;
    pid_t m_pid = 0;
    int m_pipe = -1;
    bool m_eof = false;
    std::string m_output;
    bool m_multiSelection = false;
    std::vector<Filter> m_filters;
    std::string m_folder;
    std::vector<std::string> m_names;
    std::string m_path;
};
