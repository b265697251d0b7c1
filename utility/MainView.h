// MainView: the utility's one window. It lists the root folders to scan with
// the number of .gig files the database holds for each, adds and removes
// folders, and scans all listed folders in turn with one GigaScan, whose
// thread reports back through ScanReport. The folder list is kept in the
// archive "corvane.prefs" beside the database, saved when a scan begins.
// The database is only ever touched by the scanner's thread (the counts
// too), so a locked or slow database never holds the window; what went
// wrong with it is said in the status line.
// GUI thread, except ScanReport::PostEvent (the scan thread).
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "kiv/data/String.h"
#include "kiv/file/Archive.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XView.h"
#include "utility/GigaScan.h"

class XButton;
class XLabel;
class XListPath;

// What the scan thread reports, kept in counters so that nothing is lost
// when the window's event ring is full: the posted event only wakes the
// window early, and its tick takes the counters whether an event came or not.
class ScanReport : public ScanEventTarget {
public:
    explicit ScanReport(XEventQueue& queue) : m_queue(queue) {}

    // Scan thread.
    bool PostEvent(const XEvent& event) override;
    // GUI thread: the files reported since the last call, and whether the
    // walk has ended. The files are taken after the end, so every file of an
    // ended walk comes with its 'done'.
    void Take(int& newFiles, bool& done);

private:
    XEventQueue& m_queue;
    std::atomic<int> m_newFiles{0};
    std::atomic<bool> m_done{false};
};

class MainView : public XView, public XListener, public Archivable {
public:
    MainView();
    // A running scan is stopped and its thread waited for.
    ~MainView() override;

    void Draw(XGraphic& graphic) override;
    void OnEvent(XEvent& event) override;
    void OnIdle() override;
    void OnClosing() override;
    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;
    void Archive(ArchiFile* archive) override;

    // The prefs file; made from the maker folder by the 'load' event unless
    // set before it.
    void SetPrefsPath(const char* path) { m_prefsPath = path; }
    const char* GetPrefsPath() const { return m_prefsPath.CStr(); }
    // Writes the folder list; false when the file cannot be written (the old
    // one is then kept).
    bool SavePrefs();
    // Scans the n-th folder, moving on past folders the scanner refuses; at
    // or past the end the sequence is finished.
    void ScanFolder(int n);

    int GetScanState() const { return m_scanState; }
    // The scanner's thread is at work (a walk, or the counts).
    bool IsBusy() const { return m_job != kJobNone; }
    int GetFolderIndex() const { return m_folderIndex; }
    XListPath* GetList() const { return m_list; }
    XLabel* GetStatus() const { return m_status; }
    XButton* GetAddButton() const { return m_add; }
    XButton* GetRemoveButton() const { return m_remove; }
    XButton* GetScanButton() const { return m_scanButton; }
    GigaScan& GetScanner() { return m_scan; }

private:
    enum Job { kJobNone, kJobCount, kJobWalk };

    std::unique_ptr<XFileNav> m_browser;  // kept until it answers
    void Load();
    void AddFolder();
    void RemoveFolder();
    void PressScan();
    void TakeScanReport();
    void TakeCounts();
    void TakeWalk();
    void FinishSequence();
    // The database refused the walk: the sequence ends there and the scan
    // can be started again.
    void EndRefusedSequence(GigaBase::Problem problem, const std::string& text);
    void SetStatus(const char* text);
    // Asks the scanner for every listed folder's count (when it is free;
    // else once it is).
    void CountFiles();
    // What the user is told of a database that cannot be used.
    std::string ProblemText(GigaBase::Problem problem, const std::string& text);

    kiv::string m_prefsPath;
    // Declared before the scanner, which posts to it until its thread ends.
    ScanReport m_report;
    GigaScan m_scan;
    XListPath* m_list = nullptr;
    XLabel* m_status = nullptr;
    XButton* m_add = nullptr;
    XButton* m_remove = nullptr;
    XButton* m_scanButton = nullptr;
    int m_scanState = 0;
    int m_folderIndex = 0;
    int m_job = kJobNone;
    bool m_countAgain = false;   // a count was asked for while the scanner worked
    bool m_scanWhenFree = false; // the scan waits for a count to end
    bool m_problemShown = false; // the status line says the database cannot be used
    int m_scanRow = -1;   // the row whose walk reports new files
    int m_refused = 0;    // folders of this sequence the scanner refused
    bool m_stopped = false;  // the user stopped the sequence
    ScanTally m_tally;    // what the sequence's walks could not do
    bool m_loaded = false;
};
