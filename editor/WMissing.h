// WMissing: the missing-files window. The editor lists the .gig files that a
// loaded performance or chunk names but that are not where they were; the
// user picks a folder, a search thread ('scan') walks it with its
// sub-folders for files of the same names, and the window closes with 1
// once every missing file was found, or with 0 when the user ignores them.
// The editor then asks GetFoundPath for each missing path.
//
// Threads: built, used and destroyed on the GUI thread. The search thread
// reads a copy of the missing names taken when it starts and writes only its
// own results, the progress text and the found count (atomics); it never
// touches a control. The GUI takes the results on the 'done' event (or on
// its tick once the thread has ended). The destructor stops a running search
// and waits for it: the walk looks at the stop flag before every entry.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/HProgressText.h"
#include "editor/WindowsConst.h"
#include "kiv/data/Thread.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XListView.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XView.h"

class GigaPrefs;

class WMissing : public XView, public XListener, public kiv::thread {
public:
    // prefs: where the searched folder is remembered ('misp'); null keeps
    // nothing. The default is the process-wide preferences.
    WMissing();
    explicit WMissing(GigaPrefs* prefs);
    ~WMissing() override;

    // Adds a row unless exactly this text is already listed. Null or empty
    // paths add nothing.
    void AddMissing(const char* path);
    // The found full path of the row with exactly this text, or null.
    const char* GetFoundPath(const char* missing) const;
    int GetMissingCount() const { return static_cast<int>(m_rows.size()); }
    // Rows that have a found path.
    int GetFoundCount() const;

    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;
    void OnEvent(XEvent& event) override;
    void OnIdle() override;

    // Starts the search of folder (as if the user had chosen it); false when
    // a search runs or the thread cannot start.
    bool StartSearch(const char* folder);
    // As the "Cancel" button: the walk stops at its next entry.
    void CancelSearch();
    bool IsSearching() const { return m_searching; }

    XListText* GetList() const { return m_list; }
    XLabel* GetProgressLine() const { return m_progress; }
    XButton* GetScanButton() const { return m_scan; }
    XButton* GetIgnoreButton() const { return m_ignore; }

    // Whether a file name is one the search looks at: at least five
    // characters ending in ".gig", or in ".gx" and two digits (a bank's
    // extension file), the letters in either case.
    static bool IsBankFileName(const char* name);
    // The text after the last '/' or '\' of a stored path.
    static const char* FileNameOf(const char* path);

protected:
    // Search thread.
    void Run() override;

private:
    std::unique_ptr<XFileNav> m_nav;  // the folder browser, kept until it answers
    void Build();
    void ChooseFolder();
    void FinishSearch();
    void ShowProgress();
    class FolderWalk;
    void Match(const char* name, const std::string& fullPath);

    GigaPrefs* m_prefs;
    XLabel* m_caption = nullptr;
    XListText* m_list = nullptr;
    XLabel* m_progress = nullptr;
    XButton* m_scan = nullptr;
    XButton* m_ignore = nullptr;

    // GUI thread: the rows and their found paths (empty = not found yet).
    std::vector<std::string> m_rows;
    std::vector<std::string> m_found;
    bool m_searching = false;

    // Set before the thread starts, then the thread's own until it ends.
    std::string m_folder;
    std::vector<std::string> m_names;     // file name of each open row ("" = found before)
    std::vector<std::string> m_results;   // what this search found per row
    int m_open = 0;                       // rows the search still looks for
    int32_t m_generation = 0;             // tags the search's 'done' event
    std::atomic<int> m_foundNow{0};       // rows this search found
    std::atomic<bool> m_stop{false};
    HProgressText m_text;                 // the folder being searched
    uint32_t m_seenText = 0;
};
