// WSettings: the editor's settings window, a pop-up view with three pages:
// "Memory" (memory figures, the sample preload faders, loaded counts),
// "Controllers" (which incoming controller acts as modulation wheel, volume,
// expression or pan) and "Plug-ins" (the effect plug-in folder and its
// rescan). Every change goes at once into the engine preferences or the
// plug-in list; their owners persist them. Below the pages the window names
// each of their files that is there but could not be read, whose changes
// are then not kept.
//
// Threads: built, used and destroyed on the GUI thread. The plug-in scan
// runs on the list's own thread; its progress reaches the window through a
// process-wide HProgressText that outlives every window, and the window
// polls it (and the scan's end) on its tick, so a window closed during a
// scan leaves nothing behind for the scan thread to touch.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "editor/HProgressText.h"
#include "editor/WindowsConst.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XListView.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XPane.h"
#include "kiv/gui/XSelect.h"
#include "kiv/gui/XSlider.h"
#include "kiv/gui/XView.h"

class GigaBankManager;
class GigaPrefs;
class OvStudio;
class PlugInfoList;

// The tab bar of the settings window: equal tabs across its width.
class XTabSettings : public XControl {
public:
    XTabSettings(XControl* parent, int x, int y, int w, int h);
    ~XTabSettings() override;

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;

    void AddTab(const char* caption);
    int GetCurrent() const { return m_current; }
    void SetCurrent(int index);
    int GetTabCount() const { return m_count; }
    int GetTabWidth() const { return m_tabWidth; }
    const char* GetCaption(int index) const;

private:
    struct XTab {
        kiv::string caption;
        int width = -1;  // measured at the first draw
        XTab* next = nullptr;
    };
    XTab* m_tabs = nullptr;  // owned chain
    int m_current = 0;
    int m_count = 0;
    int m_tabWidth = 0;  // 0 until drawn: no click is taken before
};

// "Memory": physical memory, the sample budget, the preload faders and the
// bank manager's totals, all read when the page is built.
class XViewDisk : public XPane, public XListener {
public:
    XViewDisk(XControl* parent, int x, int y, int w, int h, GigaPrefs* prefs, GigaBankManager* banks);

    void Draw(XGraphic& graphic) override;
    // The faders' own notifications.
    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    // "%d MB", or from 1024 MB on "%.2f GB".
    static void FormatMegabytes(int64_t megabytes, char* out, int size);

    XFader* GetMinimumFader() const { return m_minimum; }
    XFader* GetToleranceFader() const { return m_tolerance; }
    XLabel* GetValueLabel(int row) const { return row >= 0 && row < kValueRows ? m_values[row] : nullptr; }

    static constexpr int kValueRows = 5;  // physical, budget, banks, instruments, samples

private:
    void AddCaption(const char* text, int x, int y, int w);
    XLabel* AddValue(const char* text, int x, int y);
    XFader* AddFader(int y, double value, XValue** field);
    void MinimumMoved(double d);
    void ToleranceMoved(double d);

    GigaPrefs* m_prefs;
    XFader* m_minimum = nullptr;
    XFader* m_tolerance = nullptr;
    XValue* m_minimumField = nullptr;
    XValue* m_toleranceField = nullptr;
    XLabel* m_values[kValueRows] = {};
    bool m_syncing = false;  // a fader set by the other's move
};

// The controller table: draws and edits the engine's 128-entry map for
// controllers 1 to 64.
class XListControl : public XControl {
public:
    // map: 128 entries owned by the preferences; null draws "not assigned".
    XListControl(XControl* parent, int x, int y, int w, int h, int* map);

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;

    // The controller of the cell under (x, y), or 0 for none; column and
    // row of the cell when found.
    static int CellAt(int x, int y, int& column, int& row);
    // Gives controller n the function v (-1 none). A function is held by one
    // controller only: others holding v lose it. False when nothing changed.
    bool Assign(int n, int v);
    int GetEntry(int n) const;
    static const char* FunctionName(int v);

private:
    int* m_map;
};

class XViewControl : public XPane, public XListener {
public:
    XViewControl(XControl* parent, int x, int y, int w, int h, int* map);
    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;
    XListControl* GetTable() const { return m_table; }

private:
    XListControl* m_table = nullptr;
};

// The effect plug-ins of the list, vendor by vendor.
class XListPlug : public XListView {
public:
    XListPlug(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    void DrawItem(XListItem* item, XGraphic& graphic, int y) override;
    void OnSelectionChanged(XListItem* item) override { (void)item; }

    // Clears and adds one row per effect (type 1) in the list's order.
    void Fill(PlugInfoList* list);
    void SetScanning(bool scanning);
    bool IsScanning() const { return m_scanning; }
    // The centred text shown while the list is empty.
    const char* GetEmptyMessage() const;
    const char* GetVendor(int index) const;
    const char* GetName(int index) const;

private:
    bool m_scanning = false;
};

// Rows copy the texts: a scan may replace the list's entries while shown.
class XListPlugItem : public XListItem {
public:
    kiv::string vendor;
    kiv::string name;
};

class XViewPlug : public XPane, public XListener {
public:
    XViewPlug(XControl* parent, int x, int y, int w, int h, PlugInfoList* plugs);

    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    // The scan's progress callback (scan thread): publishes the text for the
    // window's tick; null is the scan's end. Context is unused.
    static void OnScanProgress(const char* text, void* context);
    // GUI tick: shows new progress text and ends the scanning state once
    // the scan has stopped.
    void PollScan();
    bool IsScanning() const { return m_scanning; }

    XSelect* GetFolderSelector() const { return m_folder; }
    // Opens the menu of the added folders; the one chosen leaves the list.
    XButton* GetRemoveButton() const { return m_remove; }
    XListPlug* GetList() const { return m_listView; }
    XButton* GetRescanButton() const { return m_rescan; }
    XLabel* GetProgressLine() const { return m_progress; }

    // The text the scan publishes into (process-wide, never destroyed).
    static HProgressText& ScanText();

private:
    std::unique_ptr<XFileNav> m_nav;  // the folder browser, kept until it answers
    void ChooseFolder();
    void ChooseFolderToRemove();
    // The folder line, the remove button and the emptied list after the
    // folders changed.
    void FoldersChanged();
    void StartScan();
    void EnterScanning();
    void ScanEnded();

    PlugInfoList* m_plugs;
    XSelect* m_folder = nullptr;
    XButton* m_remove = nullptr;
    XListPlug* m_listView = nullptr;
    XButton* m_rescan = nullptr;
    XLabel* m_progress = nullptr;
    bool m_scanning = false;
    uint32_t m_seenText = 0;
};

class WSettings : public XViewPop, public XListener {
public:
    // Where the pages read and write; null members leave their page empty.
    struct Sources {
        GigaPrefs* prefs = nullptr;
        GigaBankManager* banks = nullptr;
        PlugInfoList* plugs = nullptr;
        // The process-wide objects of the plug-in.
        static Sources Process();
    };

    explicit WSettings(OvStudio* engine);
    WSettings(OvStudio* engine, const Sources& sources);

    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;
    void OnIdle() override;

    void ShowPage(int index);
    OvStudio* GetEngine() const { return m_engine; }
    XTabSettings* GetTabs() const { return m_tabs; }
    XControl* GetPage(int index) const;
    XViewDisk* GetMemoryPage() const { return m_disk; }
    XViewControl* GetControllerPage() const { return m_control; }
    XViewPlug* GetPlugPage() const { return m_plug; }
    XButton* GetOkButton() const { return m_ok; }

private:
    void Build(const Sources& sources);

    OvStudio* m_engine;
    XTabSettings* m_tabs = nullptr;
    XControl* m_pages[editor::kSettingsPageCount] = {};
    XViewDisk* m_disk = nullptr;
    XViewControl* m_control = nullptr;
    XViewPlug* m_plug = nullptr;
    XButton* m_ok = nullptr;
};
