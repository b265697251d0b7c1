#include "editor/WMissing.h"

#include <chrono>
#include <cstring>
#include <strings.h>
#include <thread>

#include "editor/EditorConst.h"
#include "engine/GigaPrefs.h"
#include "kiv/file/Path.h"
#include "kiv/file/Scan.h"
#include "kiv/gui/XFileNav.h"

using namespace editor;

namespace {

const XColourValue kFace = XColour::Make(40, 45, 58);
const XColourValue kCaptionText = XColour::Make(255, 240, 140);
const XColourValue kListFace = XColour::Make(25, 30, 40);
const XColourValue kListText = XColour::Make(250, 250, 240);
const XColourValue kProgressText = XColour::Make(200, 255, 200);

const char* const kScanCaption = "Select folder to scan";
const char* const kCancelCaption = "Cancel";

}  // namespace

WMissing::WMissing() : WMissing(GigaPrefs::Get()) {}

WMissing::WMissing(GigaPrefs* prefs) : m_prefs(prefs)
{
    SetName("scan");
    Build();
}

WMissing::~WMissing()
{
    // The thread works on this object's members: it must be gone before
    // they are. It looks at the flag before every directory entry.
    m_stop.store(true, std::memory_order_release);
    while (IsRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(kStopPollMs));
}

void WMissing::Build()
{
    int w = kMissingWidth, h = kMissingHeight;
    SetBounds(0, 0, w, h);
    SetColour(0, kFace);
    SetDialog(true);
    SetCentred(true);

    m_caption = new XLabel(this, 2, 2, w - 10, 12);
    m_caption->SetColour(0, 0);
    m_caption->SetColour(2, kCaptionText);
    m_caption->SetFont(11, xconst::kFontBold);
    m_caption->SetText("Missing files:");

    m_list = new XListText(this, 10, 16, -20, -68);
    m_list->SetColour(0, kListFace);
    m_list->SetColour(2, kListText);

    m_progress = new XLabel(this, 10, h - 54, w - 20, 15);
    m_progress->SetColour(0, kListFace);
    m_progress->SetColour(2, kProgressText);
    m_progress->SetFont(11, 0);

    m_scan = new XButton(this, -140, -30, 130, 22);
    m_scan->SetText(kScanCaption);
    m_scan->SetStyle(1);
    m_scan->SetListener(this);

    m_ignore = new XButton(this, -280, -30, 130, 22);
    m_ignore->SetText("Ignore Missing files");
    m_ignore->SetStyle(0);
    m_ignore->SetListener(this);
}

const char* WMissing::FileNameOf(const char* path)
{
    if (!path)
        return "";
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '/' || *p == '\\')
            name = p + 1;
    }
    return name;
}

bool WMissing::IsBankFileName(const char* name)
{
    const size_t len = name ? strlen(name) : 0;
    if (file::IsGigName(name))
        return true;
    // A bank's extension files: ".gx01", ".gx02", ...
    const size_t gx = kGigExtensionLength + 1;
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return len > gx && name[len - gx] == '.' && strncasecmp(name + len - gx + 1, "gx", 2) == 0 &&
           digit(name[len - 2]) && digit(name[len - 1]);
}

void WMissing::AddMissing(const char* path)
{
    if (!path || !path[0])
        return;
    for (const std::string& row : m_rows) {
        if (row == path)
            return;
    }
    m_rows.emplace_back(path);
    m_found.emplace_back();
    m_list->AddText(path);
    m_list->Invalidate();
}

const char* WMissing::GetFoundPath(const char* missing) const
{
    if (!missing)
        return nullptr;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i] == missing)
            return m_found[i].empty() ? nullptr : m_found[i].c_str();
    }
    return nullptr;
}

int WMissing::GetFoundCount() const
{
    int count = 0;
    for (const std::string& found : m_found)
        count += found.empty() ? 0 : 1;
    return count;
}

int WMissing::Notify(XControl* sender, int code, int value)
{
    (void)code;
    (void)value;
    if (sender == m_scan) {
        if (m_searching)
            CancelSearch();
        else
            ChooseFolder();
    } else if (sender == m_ignore && !m_searching) {
        Close(kResultNo);
    }
    return 0;
}

void WMissing::ChooseFolder()
{
    // One dialog at a time: an open one is never replaced.
    if (XFileNav::IsAnyOpen())
        return;
    m_nav = std::make_unique<XFileNav>(GetWindowHandle());
    m_nav->BrowseFolder(this, "Select a folder", [this](XFileNav& nav, bool chosen) {
        if (!chosen)
            return;
        const char* folder = nav.GetFolder();
        // Later loads search the remembered folder too. A path the setting
        // cannot hold whole is not stored: a cut path names another folder.
        if (m_prefs)
            m_prefs->SetMissingFolder(folder);
        StartSearch(folder);
    });
}

bool WMissing::StartSearch(const char* folder)
{
    if (m_searching || IsRunning() || !folder || !folder[0])
        return false;
    m_folder = folder;
    if (m_folder.back() != '/')
        m_folder += '/';
    // The thread looks only for rows not found before, by their file names.
    m_names.assign(m_rows.size(), std::string());
    m_results.assign(m_rows.size(), std::string());
    m_open = 0;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (!m_found[i].empty())
            continue;
        m_names[i] = FileNameOf(m_rows[i].c_str());
        if (!m_names[i].empty())
            ++m_open;
    }
    m_foundNow.store(0, std::memory_order_relaxed);
    m_stop.store(m_open == 0, std::memory_order_relaxed);
    m_seenText = m_text.GetSequence();
    ++m_generation;

    m_ignore->SetEnabled(false);
    m_scan->SetText(kCancelCaption);
    m_scan->SetEnabled(true);
    m_searching = true;
    if (!Start(kMissingThreadCode, 0)) {
        m_searching = false;
        m_scan->SetText(kScanCaption);
        m_ignore->SetEnabled(true);
        return false;
    }
    return true;
}

void WMissing::CancelSearch()
{
    if (!m_searching)
        return;
    m_scan->SetEnabled(false);
    m_stop.store(true, std::memory_order_release);
}

// Offers every file under the chosen folder to Match, showing each folder
// it enters, until the search is cancelled or has found every name.
class WMissing::FolderWalk : public file::Scan {
public:
    explicit FolderWalk(WMissing& window) : m_window(window) {}

protected:
    void EnterDirectory(const char*, const char*, const char* fullPath) override
    {
        if (Depth() >= kMissingMaxDepth)
            return;
        m_window.m_text.Publish(fullPath);
        Walk(fullPath);
    }
    void OnFile(const char*, const char* name, const char* fullPath) override { m_window.Match(name, fullPath); }
    bool StopWalk() override { return m_window.m_stop.load(std::memory_order_acquire); }

private:
    WMissing& m_window;
};

void WMissing::Run()
{
    if (!m_stop.load(std::memory_order_acquire)) {
        m_text.Publish(m_folder.c_str());
        FolderWalk(*this).Walk(m_folder.c_str());
    }
    XEvent done;
    done.kind = kEventSearchDone;
    done.a = m_generation;
    Post(done);  // a full queue is covered by the tick seeing the thread end
}

void WMissing::Match(const char* name, const std::string& fullPath)
{
    if (!IsBankFileName(name))
        return;
    size_t len = strlen(name);
    for (size_t i = 0; i < m_names.size(); ++i) {
        const std::string& wanted = m_names[i];
        if (wanted.empty() || !m_results[i].empty())
            continue;
        if (wanted.size() != len || memcmp(wanted.data(), name, len) != 0)
            continue;  // names compare exactly, letter case included
        m_results[i] = fullPath;
        int found = m_foundNow.fetch_add(1, std::memory_order_relaxed) + 1;
        if (found >= m_open)
            m_stop.store(true, std::memory_order_release);
    }
}

void WMissing::OnEvent(XEvent& event)
{
    // A search whose end the tick already took leaves its event behind: it
    // must not end the next search.
    if (event.kind == kEventSearchDone && event.a == m_generation)
        FinishSearch();
}

void WMissing::OnIdle()
{
    if (!m_searching)
        return;
    ShowProgress();
    if (!IsRunning())
        FinishSearch();
}

void WMissing::ShowProgress()
{
    char text[kProgressTextSize];
    if (m_text.ReadIfChanged(m_seenText, text, sizeof text))
        m_progress->SetText(text);
}

void WMissing::FinishSearch()
{
    if (!m_searching)
        return;
    // The 'done' event was posted after the walk: its results are complete.
    m_searching = false;
    ShowProgress();
    for (size_t i = 0; i < m_results.size() && i < m_found.size(); ++i) {
        if (m_found[i].empty() && !m_results[i].empty())
            m_found[i] = m_results[i];
    }
    m_results.clear();
    m_names.clear();
    if (GetFoundCount() == GetMissingCount()) {
        Close(kResultYes);
        return;
    }
    m_scan->SetText(kScanCaption);
    m_scan->SetEnabled(true);
    m_ignore->SetEnabled(true);
}
