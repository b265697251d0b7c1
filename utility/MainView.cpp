#include "utility/MainView.h"

#include "kiv/file/Dir.h"
#include "kiv/file/FileLimits.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XWidgetConst.h"
#include "utility/CorvaneLimits.h"
#include "utility/CorvaneWindowConst.h"
#include "utility/XListPath.h"

#include <cctype>
#include <string>
#include <vector>

using namespace corvane;

bool ScanReport::PostEvent(const XEvent& event)
{
    uint32_t kind = static_cast<uint32_t>(event.kind);
    if (kind == kEventNewFile)
        m_newFiles.fetch_add(1, std::memory_order_release);
    else if (kind == kEventDone)
        m_done.store(true, std::memory_order_release);
    else
        return m_queue.Post(event);
    // A full ring refuses the wake-up only; the counters keep the report.
    m_queue.Post(event);
    return true;
}

void ScanReport::Take(int& newFiles, bool& done)
{
    done = m_done.exchange(false, std::memory_order_acq_rel);
    newFiles = m_newFiles.exchange(0, std::memory_order_acq_rel);
}

namespace {

XLabel* MakeHeader(XControl* parent, int x, int w, const char* text)
{
    XLabel* header = new XLabel(parent, x, kMargin, w, kHeaderH);
    header->SetText(text);
    header->SetColour(3, XColour::Make(80, 80, 80));
    return header;
}

XButton* MakeButton(XControl* parent, int x, int y, int w, const char* text, int style)
{
    XButton* button = new XButton(parent, x, y, w, kButtonH);
    button->SetText(text);
    button->SetStyle(style);
    return button;
}

}  // namespace

MainView::MainView() : m_report(*this)
{
    SetText(kWindowTitle);
    RequestSize(kWindowW, kWindowH);
    const int w = GetWidth(), h = GetHeight();

    MakeHeader(this, kMargin, kHeaderFilesX + 1 - kMargin, kTextFolders);
    MakeHeader(this, kHeaderFilesX, kHeaderFilesW, kTextFiles);

    const int listTop = kMargin + kHeaderH;
    const int listBottom = h + kStatusY - kListGap;
    m_list = new XListPath(this, kMargin, listTop, w - 2 * kMargin, listBottom - listTop);
    m_list->SetColour(0, XColour::Make(25, 30, 40));
    m_list->SetColour(2, XColour::Make(250, 250, 240));
    m_list->GetViewPort()->SetResizeMode(true, true, true, true);

    m_status = new XLabel(this, kMargin, h + kStatusY, w - 2 * kMargin, kStatusH);
    m_status->SetColour(0, XColour::Make(30, 30, 30));
    m_status->SetColour(2, XColour::Make(200, 255, 200));
    m_status->SetColour(3, XColour::Make(60, 60, 60));
    m_status->SetResizeMode(true, false, true, true);
    // A long folder or database path gives up its middle, not what is said
    // of it at its end.
    m_status->SetCutInMiddle(true);

    // Style 1 gives the pressed face (124,168,255), style 0 (180,180,200).
    m_add = MakeButton(this, kMargin, h + kButtonY, kSmallButtonW, "+", 1);
    m_remove = MakeButton(this, kRemoveX, h + kButtonY, kSmallButtonW, "-", 0);
    m_scanButton = MakeButton(this, w + kScanX, h + kButtonY, kScanW, kTextScan, 1);
    m_add->SetResizeMode(false, false, false, true);
    m_remove->SetResizeMode(false, false, false, true);
    m_scanButton->SetResizeMode(false, false, true, true);
    for (XButton* button : {m_add, m_remove, m_scanButton})
        button->SetListener(this);

    m_scanState = kStateScan;
    m_folderIndex = 0;
    Post(XEvent{static_cast<int32_t>(kEventLoad), 0, 0});
}

MainView::~MainView()
{
    // The scanner's destructor waits for its thread; stopping first lets the
    // walk unwind at once.
    m_scan.Stop();
}

void MainView::Draw(XGraphic& graphic)
{
    graphic.GradientRectangle(XRectangle(0, 0, GetWidth(), GetHeight()), XColour::Make(40, 50, 60),
                              XColour::Make(60, 80, 100));
}

void MainView::OnEvent(XEvent& event)
{
    uint32_t kind = static_cast<uint32_t>(event.kind);
    if (kind == kEventLoad)
        Load();
    else if (kind == kEventNewFile || kind == kEventDone)
        TakeScanReport();
}

void MainView::OnIdle() { TakeScanReport(); }

void MainView::OnClosing() { m_scan.Stop(); }

int MainView::Notify(XControl* sender, int code, int value)
{
    (void)value;
    if (code != xwidget::kCodeMouseUp)
        return 0;
    if (sender == m_add)
        AddFolder();
    else if (sender == m_remove)
        RemoveFolder();
    else if (sender == m_scanButton)
        PressScan();
    return 0;
}

void MainView::Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    if (m_prefsPath.IsEmpty()) {
        app::folder folder;
        if (folder.Open(1, file::kMakerFolder))
            m_prefsPath = folder.GetFilePath(kPrefsFile);
    }
    if (!m_prefsPath.IsEmpty()) {
        // A damaged file keeps the folders read before the damage.
        ArchiLoad load;
        load.LoadFile(this, kPrefsType, m_prefsPath.CStr());
    }

    bool empty = m_list->GetCount() == 0;
    if (empty)
        SetStatus(kTextAddHint);
    m_scanButton->SetEnabled(!empty);
    m_list->Invalidate();
    // The database is opened (made on a first run) and the counts read on
    // the scanner's thread; a database that cannot be used is said then.
    CountFiles();
}

void MainView::Archive(ArchiFile* archive)
{
    if (!archive->ExchangeVersion(kPrefsVersion, 0, 0))
        return;
    bool loading = archive->IsLoading();
    int count = loading ? 0 : m_list->GetCount();
    if (!archive->ExchangeInt(count, kTagFolderCount))
        return;
    for (int i = 0; i < count; ++i) {
        kiv::string path;
        if (!loading)
            path = m_list->GetPath(i);
        // The count is the file's word: a list that ends early ends here,
        // so a damaged count cannot keep the loop running.
        if (!archive->ExchangeString(path, kTagFolderPath))
            return;
        // Its count comes from the database later.
        if (loading && !path.IsEmpty())
            m_list->AddPath(path.CStr(), -1);
    }
}

bool MainView::SavePrefs()
{
    if (m_prefsPath.IsEmpty())
        return false;
    ArchiSave save;
    return save.SaveFile(this, kPrefsType, m_prefsPath.CStr());
}

void MainView::CountFiles()
{
    if (m_job != kJobNone) {
        m_countAgain = true;
        return;
    }
    std::vector<std::string> folders;
    for (int row = 0; row < m_list->GetCount(); ++row)
        folders.push_back(m_list->GetPath(row));
    if (m_scan.StartCount(folders, &m_report))
        m_job = kJobCount;
}

void MainView::AddFolder()
{
    // One dialog at a time: an open one is never replaced.
    if (XFileNav::IsAnyOpen())
        return;
    m_browser = std::make_unique<XFileNav>(GetWindowHandle());
    m_browser->BrowseFolder(this, kTextBrowseTitle, [this](XFileNav& browser, bool chosen) {
        const char* folder = browser.GetFolder();
        if (!chosen || !folder[0])
            return;
        if (m_list->GetCount() == 0)
            SetStatus(nullptr);
        // A folder scanned before shows what the database holds: a new scan
        // reports only files it has not seen.
        m_list->AddPath(folder, -1);
        CountFiles();
        m_list->Invalidate();
        m_scanButton->SetEnabled(true);
    });
}

void MainView::RemoveFolder()
{
    int row = m_list->GetSelectedRow();
    if (row < 0)
        return;
    m_list->RemoveItem(m_list->GetItem(row));
    if (m_list->GetCount() == 0) {
        m_scanButton->SetEnabled(false);
        SetStatus(kTextAddHint);
    }
}

void MainView::PressScan()
{
    switch (m_scanState) {
    case kStateScan:
        SavePrefs();
        m_add->SetEnabled(false);
        m_remove->SetEnabled(false);
        m_scanButton->SetText(kTextStop);
        m_scanButton->Invalidate();
        m_scanState = kStateStop;
        m_refused = 0;
        m_stopped = false;
        m_tally = ScanTally();
        m_countAgain = false;
        if (m_job == kJobCount) {
            // The counts give way; the scan begins with their 'done'.
            m_scanWhenFree = true;
            m_scan.Stop();
            break;
        }
        ScanFolder(0);
        break;
    case kStateStop:
        // The running walk unwinds and its 'done' ends the sequence.
        m_folderIndex = kStoppedIndex;
        m_scanWhenFree = false;
        m_stopped = true;
        m_scan.Stop();
        break;
    default:
        Close(0);
        break;
    }
}

void MainView::ScanFolder(int n)
{
    // A refused folder posts no 'done': the next one is started at once.
    for (;; ++n) {
        m_folderIndex = n;
        if (n < 0 || n >= m_list->GetCount()) {
            FinishSequence();
            return;
        }
        m_scanRow = n;
        m_problemShown = false;
        m_list->SelectRow(n);
        const char* folder = m_list->GetPath(n);
        kiv::string status("Scanning ");
        status += folder;
        status += "...";
        SetStatus(status.CStr());
        if (m_scan.Start(folder, &m_report)) {
            m_job = kJobWalk;
            return;
        }
        ++m_refused;
    }
}

void MainView::FinishSequence()
{
    m_list->DeselectAll();
    // Nothing left out goes unsaid: each kind of loss has its clause (the
    // next scan tries every file left out again).
    std::string status = m_stopped ? kTextStopped : kTextFinished;
    auto files = [](int n) { return std::to_string(n) + (n == 1 ? " file" : " files"); };
    if (m_tally.notStored > 0) {
        status += "; " + files(m_tally.notStored) + " not stored";
        if (!m_tally.problem.empty())
            status += " (" + m_tally.problem + ")";
    }
    if (m_tally.unreadable > 0)
        status += "; " + files(m_tally.unreadable) + " unreadable";
    int folders = m_refused + m_tally.foldersSkipped;
    if (folders > 0)
        status += "; " + std::to_string(folders) + (folders == 1 ? " folder" : " folders") + " could not be scanned";
    SetStatus(status.c_str());
    m_scanButton->SetText(kTextQuit);
    m_scanState = kStateQuit;
    Invalidate();
    // Files taken out, and walks of folders inside others, change other
    // rows' counts too.
    CountFiles();
}

void MainView::EndRefusedSequence(GigaBase::Problem problem, const std::string& text)
{
    m_list->DeselectAll();
    SetStatus((kTextScanStopped + ProblemText(problem, text)).c_str());
    m_problemShown = true;
    // Once the other program lets go, the scan can simply be started again.
    m_scanButton->SetText(kTextScan);
    m_scanButton->Invalidate();
    m_scanState = kStateScan;
    m_add->SetEnabled(true);
    m_remove->SetEnabled(true);
    Invalidate();
}

std::string MainView::ProblemText(GigaBase::Problem problem, const std::string& text)
{
    // The text says more only where nothing else does.
    return kiv::db::ProblemText(problem, m_scan.GetBase().GetPath(), problem == GigaBase::Problem::kOther ? text : "",
                                true);
}

void MainView::TakeScanReport()
{
    int files = 0;
    bool done = false;
    m_report.Take(files, done);
    if (files > 0 && m_job == kJobWalk)
        m_list->AddFilesToRow(m_scanRow, files);
    if (!done)
        return;
    int job = m_job;
    m_job = kJobNone;
    if (job == kJobCount)
        TakeCounts();
    else if (job == kJobWalk)
        TakeWalk();
}

void MainView::TakeCounts()
{
    for (const FolderCount& count : m_scan.GetCounts()) {
        if (count.files < 0)
            continue;
        // By folder: rows may have been added or removed meanwhile.
        for (int row = 0; row < m_list->GetCount(); ++row) {
            if (count.folder == m_list->GetPath(row))
                m_list->SetRowCount(row, count.files);
        }
    }
    GigaBase::Problem problem = m_scan.GetCountProblem();
    if (m_scanState == kStateStop) {
        // The scan waited for the counts; stopped before it began, it ends.
        if (m_scanWhenFree)
            ScanFolder(0);
        else
            FinishSequence();
        m_scanWhenFree = false;
        return;
    }
    if (problem != GigaBase::Problem::kNone) {
        std::string text = ProblemText(problem, m_scan.GetCountProblemText());
        text[0] = static_cast<char>(toupper(static_cast<unsigned char>(text[0])));
        SetStatus(text.c_str());
        m_problemShown = true;
    } else if (m_problemShown) {
        // The database answers again: the line goes back to its hint.
        m_problemShown = false;
        SetStatus(m_list->GetCount() == 0 ? kTextAddHint : nullptr);
    }
    if (m_countAgain) {
        m_countAgain = false;
        CountFiles();
    }
}

void MainView::TakeWalk()
{
    const ScanTally& tally = m_scan.GetTally();
    if (tally.refused != GigaBase::Problem::kNone && m_scanState == kStateStop) {
        EndRefusedSequence(tally.refused, tally.problem);
        return;
    }
    m_tally.notStored += tally.notStored;
    m_tally.unreadable += tally.unreadable;
    m_tally.foldersSkipped += tally.foldersSkipped;
    if (m_tally.problem.empty())
        m_tally.problem = tally.problem;
    // What the database now holds, files taken out included.
    if (tally.rootFiles >= 0)
        m_list->SetRowCount(m_scanRow, tally.rootFiles);
    if (m_scanState == kStateStop)
        ScanFolder(m_folderIndex + 1);
}

void MainView::SetStatus(const char* text)
{
    m_status->SetText(text);
    m_status->Invalidate();
}
