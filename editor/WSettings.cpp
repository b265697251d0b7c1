#include "editor/WSettings.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/GigaBankManager.h"
#include "engine/GigaPrefs.h"
#include "kiv/file/FileOpen.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XMenu.h"
#include "vst/PlugInfoList.h"

using namespace editor;

namespace {

const XColourValue kWhite = XColour::Make(255, 255, 255);

// Window.
const XColourValue kFrame = XColour::Make(220, 220, 255);
const XColourValue kOkFace = XColour::Make(180, 200, 240);

// Tab bar.
const XColourValue kTabFace = XColour::Make(189, 190, 196);
const XColourValue kTabText = XColour::Make(20, 20, 20);
const XColourValue kTabLine = XColour::Make(200, 200, 200);
// Captions of the other tabs: dark enough to read on the bar's light face.
const XColourValue kTabCaption = XColour::Make(44, 46, 66);
const XColourValue kTabCurrentFace = XColour::Make(255, 255, 255);  // joins the white page
const XColourValue kTabCurrent = XColour::Make(20, 20, 60);

// "Memory".
const XColourValue kCaptionText = XColour::Make(40, 40, 40);
const XColourValue kValueFace = XColour::Make(220, 220, 220);
const XColourValue kValueText = XColour::Make(50, 40, 60);
const XColourValue kFieldFace = XColour::Make(40, 40, 60);
const XColourValue kHeading = XColour::Make(120, 120, 120);
const XColourValue kSeparator = XColour::Make(180, 180, 180);
constexpr int kRowHeightPx = 18;

// "Controllers".
const XColourValue kStripe = XColour::Make(245, 245, 255);
const XColourValue kCellText = XColour::Make(60, 60, 60);
const XColourValue kCellBox = XColour::Make(70, 80, 120);
const XColourValue kFunctionText = XColour::Make(255, 255, 100);
const XColourValue kUnassignedText = XColour::Make(160, 160, 170);

// "Plug-ins".
const XColourValue kListFace = XColour::Make(50, 60, 80);
const XColourValue kListFrame = XColour::Make(40, 50, 70);
const XColourValue kListText = XColour::Make(250, 220, 100);
const XColourValue kEmptyText = XColour::Make(255, 200, 100);
const XColourValue kProgressText = XColour::Make(0, 40, 80);
const XColourValue kNoticeText = XColour::Make(150, 0, 0);  // on the window's grey
constexpr int kPlugType = 1;  // effects
constexpr int kNameColumn = 260;

struct Function {
    int value;
    const char* name;
};
// The menu's order.
constexpr Function kFunctions[] = {
    {kCtlNone, "not assigned"}, {1, "modwheel"}, {7, "volume"}, {11, "expression"}, {10, "pan"},
};

// The plug-in folders as the page shows them: the home folder as "~", so
// the usual list fits the line.
std::string ShownFolders(const std::string& folders)
{
    const char* home = getenv("HOME");
    const std::string prefix = home && home[0] ? std::string(home) + "/" : std::string();
    std::string shown;
    size_t start = 0;
    while (start < folders.size()) {
        size_t end = folders.find(plug::kFolderListSeparator, start);
        if (end == std::string::npos)
            end = folders.size();
        std::string folder = folders.substr(start, end - start);
        if (prefix.size() > 1 && folder.compare(0, prefix.size(), prefix) == 0)
            folder.replace(0, prefix.size(), "~/");
        if (!shown.empty())
            shown += plug::kFolderListSeparator;
        shown += folder;
        start = end + 1;
    }
    return shown;
}

// A line for each file of the sources that is there but could not be read,
// and what follows from it; none when every file was read.
std::vector<std::string> UnreadFileLines(const WSettings::Sources& sources)
{
    std::vector<std::string> lines;
    std::string path;
    int reason = 0;
    const auto add = [&](const char* what) {
        lines.push_back(std::string("The ") + what + " could not be read from " + ShownFolders(path) + ": " +
                        file::ReasonText(reason) + ".");
    };
    if (sources.prefs && sources.prefs->SettingsUnread(path, reason))
        add("settings");
    if (sources.prefs && sources.prefs->MapUnread(path, reason))
        add("controller settings");
    if (sources.plugs && sources.plugs->ListUnread(path, reason))
        add("plug-in list");
    if (lines.size() == 1)
        lines.push_back("Changes will not be kept until the file can be read.");
    else if (!lines.empty())
        lines.push_back("Changes will not be kept until the files can be read.");
    return lines;
}

}  // namespace

// --- XTabSettings ---

XTabSettings::XTabSettings(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(0, kTabFace);
    SetColour(2, kTabText);
}

XTabSettings::~XTabSettings()
{
    while (m_tabs) {
        XTab* next = m_tabs->next;
        delete m_tabs;
        m_tabs = next;
    }
}

void XTabSettings::AddTab(const char* caption)
{
    XTab** slot = &m_tabs;
    while (*slot)
        slot = &(*slot)->next;
    *slot = new XTab;
    (*slot)->caption = caption ? caption : "";
    ++m_count;
    Invalidate();
}

const char* XTabSettings::GetCaption(int index) const
{
    XTab* tab = m_tabs;
    for (int i = 0; tab && i < index; ++i)
        tab = tab->next;
    return index >= 0 && tab ? tab->caption.CStr() : nullptr;
}

void XTabSettings::Draw(XGraphic& graphic)
{
    int w = GetWidth(), h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 0, w, h), GetColour(0));
    graphic.SetPen(kTabLine);
    graphic.DrawLine(0, h - 1, w, h - 1);
    if (m_count <= 0)
        return;
    m_tabWidth = w / m_count;
    if (m_current >= 0 && m_current < m_count)
        graphic.FillRectangleColour(XRectangle(m_current * m_tabWidth, 0, m_tabWidth, h), kTabCurrentFace);
    graphic.SetFont(15, xconst::kFontBold);
    int i = 0;
    for (XTab* tab = m_tabs; tab; tab = tab->next, ++i) {
        if (tab->width < 0)
            tab->width = graphic.GetTextSize(tab->caption.CStr()).width;
        graphic.SetTextColour(i == m_current ? kTabCurrent : kTabCaption);
        graphic.DrawString(tab->caption.CStr(), i * m_tabWidth + (m_tabWidth - tab->width) / 2, 4);
    }
}

void XTabSettings::SetCurrent(int index)
{
    if (index < 0 || index >= m_count || index == m_current)
        return;
    m_current = index;
    Invalidate();
}

bool XTabSettings::OnMouseDown(XMouse& mouse)
{
    if (m_tabWidth <= 0)
        return true;
    int tab = mouse.LocalX() / m_tabWidth;
    if (mouse.LocalX() < 0 || tab >= m_count || tab == m_current)
        return true;
    m_current = tab;
    Invalidate();
    Notify(kCodeTabs, tab);
    return true;
}

// --- XViewDisk ---

XViewDisk::XViewDisk(XControl* parent, int x, int y, int w, int h, GigaPrefs* prefs, GigaBankManager* banks)
    : XPane(parent, x, y, w, h), m_prefs(prefs)
{
    SetColour(0, kWhite);
    SetColour(3, 0);

    char text[32];
    AddCaption("Physical Memory Size:", 20, 50, 170);
    FormatMegabytes(prefs ? prefs->GetTotalMB() : 0, text, sizeof text);
    m_values[0] = AddValue(text, 350, 50);
    AddCaption("Sample Memory Size:", 20, 80, 170);
    FormatMegabytes(prefs ? prefs->GetBudgetMB() : 0, text, sizeof text);
    m_values[1] = AddValue(text, 350, 80);

    AddCaption("Sample preload minimum:", 20, 150, 170);
    m_minimum = AddFader(150, prefs ? prefs->GetLmin() : GigaPrefs::kDefaultLmin, &m_minimumField);
    AddCaption("Sample preload tolerance:", 20, 180, 170);
    m_tolerance = AddFader(180, prefs ? prefs->GetLmax() : GigaPrefs::kDefaultLmax, &m_toleranceField);

    GigaBankManager::Stats stats;
    if (banks)
        banks->GetStats(stats);
    const char* names[] = {"Banks:", "Instruments:", "Samples:"};
    const int32_t counts[] = {stats.banks, stats.programs, stats.samples};
    for (int i = 0; i < 3; ++i) {
        AddCaption(names[i], 480, 50 + 30 * i, 88);
        std::snprintf(text, sizeof text, "%d", counts[i]);
        m_values[2 + i] = AddValue(text, 570, 50 + 30 * i);
    }
}

void XViewDisk::FormatMegabytes(int64_t megabytes, char* out, int size)
{
    if (megabytes >= kMegabytesPerGigabyte)
        std::snprintf(out, size, "%.2f GB", static_cast<double>(megabytes) / kMegabytesPerGigabyte);
    else
        std::snprintf(out, size, "%d MB", static_cast<int>(megabytes));
}

void XViewDisk::AddCaption(const char* text, int x, int y, int w)
{
    XLabel* label = new XLabel(this, x, y, w, kRowHeightPx);
    label->SetColour(0, 0);
    label->SetColour(2, kCaptionText);
    label->SetFont(11, xconst::kFontBold);
    label->SetText(text);
}

XLabel* XViewDisk::AddValue(const char* text, int x, int y)
{
    XLabel* label = new XLabel(this, x, y, 60, kRowHeightPx);
    label->SetColour(0, kValueFace);
    label->SetColour(2, kValueText);
    label->SetFont(11, xconst::kFontBold);
    label->SetText(text);
    return label;
}

XFader* XViewDisk::AddFader(int y, double value, XValue** field)
{
    XValue* shown = new XValue(this, 350, y, 60, kRowHeightPx);
    shown->SetColour(0, kFieldFace);
    shown->SetColour(2, kWhite);
    shown->SetFont(11, xconst::kFontBold);
    shown->SetFormat(2, "sec");
    *field = shown;

    XFader* fader = new XFader(this, 190, y, 140, kRowHeightPx);
    fader->SetTrackColour(kWhite);
    fader->SetRange(kPreloadMin, kPreloadMax, kPreloadStep, kPreloadStep);
    fader->SetValueListener(shown);
    fader->SetDefault(value);
    shown->SetValue(fader->GetValue());
    fader->SetListener(this);
    return fader;
}

int XViewDisk::Notify(XControl* sender, int code, int value)
{
    (void)code;
    (void)value;
    if (m_syncing)
        return 0;
    m_syncing = true;
    if (sender == m_minimum)
        MinimumMoved(m_minimum->GetValue());
    else if (sender == m_tolerance)
        ToleranceMoved(m_tolerance->GetValue());
    m_syncing = false;
    return 0;
}

void XViewDisk::MinimumMoved(double d)
{
    if (d < kPreloadMin) {
        m_minimum->SetValue(kPreloadMin);
        d = kPreloadMin;
    }
    if (!m_prefs)
        return;
    if (d > m_prefs->GetLmax()) {
        m_prefs->SetLmax(static_cast<float>(d));
        m_tolerance->SetValue(d);
    }
    m_prefs->SetLmin(static_cast<float>(d));
    m_prefs->PublishPreload();
}

void XViewDisk::ToleranceMoved(double d)
{
    if (!m_prefs)
        return;
    if (d < m_prefs->GetLmin()) {
        m_prefs->SetLmin(static_cast<float>(d));
        m_minimum->SetValue(d);
    }
    m_prefs->SetLmax(static_cast<float>(d));
    m_prefs->PublishPreload();
}

void XViewDisk::Draw(XGraphic& graphic)
{
    XPane::Draw(graphic);
    graphic.SetFont(16, xconst::kFontBold);
    graphic.SetTextColour(kHeading);
    graphic.DrawString("Your computer", 20, 20);
    graphic.DrawString("Sample pre-loading", 20, 120);
    graphic.DrawString("Loaded", 480, 20);
    graphic.SetPen(kSeparator);
    graphic.DrawLine(20, 42, 410, 42);
    graphic.DrawLine(20, 142, 410, 142);
    graphic.DrawLine(480, 42, 630, 42);
}

// --- XListControl ---

XListControl::XListControl(XControl* parent, int x, int y, int w, int h, int* map)
    : XControl(parent, x, y, w, h), m_map(map)
{
    SetColour(0, kWhite);
}

const char* XListControl::FunctionName(int v)
{
    for (const Function& f : kFunctions) {
        if (f.value == v && v != kCtlNone)
            return f.name;
    }
    return kFunctions[0].name;
}

int XListControl::GetEntry(int n) const
{
    if (!m_map || n < 0 || n >= giga::kControllerCount)
        return kCtlNone;
    // The audio thread reads the map while the GUI edits it.
    return std::atomic_ref<int>(m_map[n]).load(std::memory_order_relaxed);
}

bool XListControl::Assign(int n, int v)
{
    if (!m_map || n < 0 || n >= giga::kControllerCount || GetEntry(n) == v)
        return false;
    if (v >= 0) {
        for (int i = 0; i < giga::kControllerCount; ++i) {
            if (GetEntry(i) == v)
                std::atomic_ref<int>(m_map[i]).store(kCtlNone, std::memory_order_relaxed);
        }
    }
    std::atomic_ref<int>(m_map[n]).store(v, std::memory_order_relaxed);
    Invalidate();
    return true;
}

int XListControl::CellAt(int x, int y, int& column, int& row)
{
    column = -1;
    for (int c = 0; c < kCtlColumns; ++c) {
        if (x > 54 + kCtlColumnWidth * c && x < 144 + kCtlColumnWidth * c) {
            column = c;
            break;
        }
    }
    if (column < 0 || y < 4)
        return 0;
    row = (y - 4) / kCtlRowHeight;
    if (row >= kCtlRows)
        return 0;
    return 1 + kCtlRows * column + row;
}

void XListControl::Draw(XGraphic& graphic)
{
    int w = GetWidth(), h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 0, w, h), GetColour(0));
    for (int y = 18; y < h; y += 2 * kCtlRowHeight)
        graphic.FillRectangleColour(XRectangle(0, y, w, kCtlRowHeight), kStripe);
    graphic.SetFont(11, xconst::kFontBold);
    char text[16];
    for (int r = 0; r < kCtlRows; ++r) {
        int y = 4 + kCtlRowHeight * r;
        if (y - 1 >= h)
            break;  // below the visible rows
        for (int c = 0; c < kCtlColumns; ++c) {
            int x = 4 + kCtlColumnWidth * c;
            int n = 1 + kCtlRows * c + r;
            std::snprintf(text, sizeof text, "CC #%d", n);
            graphic.SetTextColour(kCellText);
            graphic.DrawString(text, x, y + 1);
            graphic.FillRectangleColour(XRectangle(x + 50, y - 1, 90, 14), kCellBox);
            int v = GetEntry(n);
            const char* name = FunctionName(v);
            graphic.SetTextColour(name == kFunctions[0].name ? kUnassignedText : kFunctionText);
            graphic.DrawString(name, x + 54, y);
        }
    }
}

bool XListControl::OnMouseDown(XMouse& mouse)
{
    int column = 0, row = 0;
    int n = CellAt(mouse.LocalX(), mouse.LocalY(), column, row);
    if (n <= 0)
        return true;
    auto menu = std::make_unique<XMenu>();
    for (const Function& f : kFunctions)
        menu->AddItem(f.name, f.value);
    PopupMenu(std::move(menu), 54 + kCtlColumnWidth * column, 18 + kCtlRowHeight * row,
              [this, n](int, int value) { Assign(n, value); });
    return true;
}

XViewControl::XViewControl(XControl* parent, int x, int y, int w, int h, int* map) : XPane(parent, x, y, w, h)
{
    SetColour(0, kWhite);
    SetColour(3, 0);
    m_table = new XListControl(this, 4, 4, -4, -4, map);
}

int XViewControl::Notify(XControl* sender, int code, int value)
{
    (void)sender;
    (void)code;
    (void)value;
    return 0;
}

// --- XListPlug ---

XListPlug::XListPlug(XControl* parent, int x, int y, int w, int h) : XListView(parent, x, y, w, h)
{
    SetColour(0, kListFace);
    SetColour(3, kListFrame);
    SetColour(2, kListText);
}

void XListPlug::Fill(PlugInfoList* list)
{
    Clear();
    if (!list)
        return;
    for (int m = 0; m < list->GetManufCount(); ++m) {
        PlugManuf* manuf = list->GetManuf(m);
        if (!manuf)
            continue;
        for (int i = 0;; ++i) {
            PlugInfo* info = manuf->GetItemOfType(kPlugType, i);
            if (!info)
                break;
            auto* item = new XListPlugItem;
            item->vendor = manuf->GetVendor() ? manuf->GetVendor() : "";
            const char* name = info->GetDisplayName();
            item->name = name ? name : "";
            AddItem(item);
        }
    }
    Invalidate();
}

void XListPlug::SetScanning(bool scanning)
{
    m_scanning = scanning;
    Invalidate();
}

const char* XListPlug::GetEmptyMessage() const
{
    return m_scanning ? "Searching for plug-ins..." : "Click on the button below to search for plug-ins";
}

const char* XListPlug::GetVendor(int index) const
{
    auto* item = static_cast<XListPlugItem*>(GetItem(index));
    return item ? item->vendor.CStr() : nullptr;
}

const char* XListPlug::GetName(int index) const
{
    auto* item = static_cast<XListPlugItem*>(GetItem(index));
    return item ? item->name.CStr() : nullptr;
}

void XListPlug::DrawItem(XListItem* item, XGraphic& graphic, int y)
{
    auto* row = static_cast<XListPlugItem*>(item);
    if (row->selected)
        graphic.FillRectangleColour(XRectangle(0, y - 2, GetWidth(), xconst::kRowHeight), GetColour(3));
    graphic.SetTextColour(GetColour(2));
    graphic.DrawString(row->vendor.CStr(), 4, y + 1);
    graphic.DrawString(row->name.CStr(), kNameColumn, y + 1);
}

void XListPlug::Draw(XGraphic& graphic)
{
    XListView::Draw(graphic);
    if (GetCount() > 0)
        return;
    graphic.SetFont(12, xconst::kFontBold);
    graphic.SetTextColour(kEmptyText);
    XRect shown = GetVisibleRect();
    graphic.DrawTextCentred(GetEmptyMessage(),
                            XRectangle(shown.left, shown.top, shown.right - shown.left + 1, shown.bottom - shown.top + 1));
}

// --- XViewPlug ---

HProgressText& XViewPlug::ScanText()
{
    // Never destroyed: a scan thread may publish after every window closed.
    static HProgressText* text = new HProgressText;
    return *text;
}

void XViewPlug::OnScanProgress(const char* text, void* context)
{
    (void)context;
    ScanText().Publish(text);
}

XViewPlug::XViewPlug(XControl* parent, int x, int y, int w, int h, PlugInfoList* plugs)
    : XPane(parent, x, y, w, h), m_plugs(plugs)
{
    SetColour(0, kWhite);
    SetColour(3, 0);

    m_folder = new XSelect(this, 4, 4, -(8 + kRemoveFolderWidth), 18);
    m_folder->SetFont(11, xconst::kFontBold);
    m_folder->SetText(plugs ? ShownFolders(plugs->GetFolder()).c_str() : nullptr);
    m_folder->SetListener(this);

    m_remove = new XButton(this, -(4 + kRemoveFolderWidth), 4, -4, 18);
    m_remove->SetText("Remove folder");
    m_remove->SetListener(this);
    m_remove->SetEnabled(plugs && !plugs->GetRemovableFolders().empty());

    m_listView = new XListPlug(this, 4, 24, -4, -26);
    m_listView->Fill(plugs);

    m_rescan = new XButton(this, 200, -22, -200, -4);
    m_rescan->SetText("Rescan and update the list of plug-ins");
    m_rescan->SetListener(this);

    m_progress = new XLabel(this, 4, -22, -4, -4);
    m_progress->SetFont(11, xconst::kFontBold);
    m_progress->SetColour(0, kWhite);
    m_progress->SetColour(2, kProgressText);
    m_progress->SetVisible(false);

    m_seenText = ScanText().GetSequence();
}

int XViewPlug::Notify(XControl* sender, int code, int value)
{
    (void)code;
    (void)value;
    if (sender == m_folder)
        ChooseFolder();
    else if (sender == m_remove)
        ChooseFolderToRemove();
    else if (sender == m_rescan && !m_scanning)
        StartScan();
    return 0;
}

void XViewPlug::ChooseFolder()
{
    if (!m_plugs)
        return;
    // One dialog at a time: an open one is never replaced.
    if (XFileNav::IsAnyOpen())
        return;
    m_nav = std::make_unique<XFileNav>(GetWindowHandle());
    m_nav->BrowseFolder(this, "Select your plug-in folder", [this](XFileNav& nav, bool chosen) {
        // The chosen folder joins the others; the scan walks them all.
        if (!chosen || !m_plugs || !m_plugs->AddFolder(nav.GetFolder()))
            return;
        FoldersChanged();
    });
}

void XViewPlug::ChooseFolderToRemove()
{
    if (!m_plugs)
        return;
    // Only folders the user added: those a rule gives are the host's.
    std::vector<std::string> folders;
    const std::string removable = m_plugs->GetRemovableFolders();
    auto menu = std::make_unique<XMenu>();
    size_t start = 0;
    while (start < removable.size()) {
        size_t end = removable.find(plug::kFolderListSeparator, start);
        if (end == std::string::npos)
            end = removable.size();
        folders.push_back(removable.substr(start, end - start));
        menu->AddItem(ShownFolders(folders.back()).c_str(), static_cast<int>(folders.size()) - 1);
        start = end + 1;
    }
    if (folders.empty())
        return;
    m_remove->PopupMenu(std::move(menu), 0, m_remove->GetHeight(), [this, folders](int, int value) {
        if (value < 0 || static_cast<size_t>(value) >= folders.size() || !m_plugs)
            return;
        if (m_plugs->RemoveFolder(folders[static_cast<size_t>(value)].c_str()))
            FoldersChanged();
    });
}

void XViewPlug::FoldersChanged()
{
    m_folder->SetText(ShownFolders(m_plugs->GetFolder()).c_str());
    m_remove->SetEnabled(!m_plugs->GetRemovableFolders().empty());
    // What was found belongs to the old folders: a rescan lists the new.
    m_listView->Clear();
    m_listView->Invalidate();
}

void XViewPlug::EnterScanning()
{
    m_scanning = true;
    m_rescan->Hide();
    m_progress->SetText(nullptr);
    m_progress->Show(true);
    m_listView->SetScanning(true);
    m_listView->Clear();
    if (XControl* window = GetParent())
        window->SetEnabled(false);
    Invalidate();
}

void XViewPlug::StartScan()
{
    EnterScanning();
    m_seenText = ScanText().GetSequence();
    // A list that cannot scan (none, or a scan already running elsewhere that
    // is not ours to end) must not leave the window disabled.
    if (!m_plugs || !m_plugs->StartScan(&XViewPlug::OnScanProgress, nullptr))
        ScanEnded();
}

void XViewPlug::PollScan()
{
    if (!m_scanning) {
        // A scan started from another window, still running: show it.
        if (m_plugs && m_plugs->IsScanning())
            EnterScanning();
        else
            return;
    }
    char text[kProgressTextSize];
    if (ScanText().ReadIfChanged(m_seenText, text, sizeof text))
        m_progress->SetText(text[0] ? text : nullptr);
    // A stopped scan never reports its end: the thread's own flag does.
    if (!m_plugs || !m_plugs->IsScanning())
        ScanEnded();
}

void XViewPlug::ScanEnded()
{
    m_scanning = false;
    m_progress->SetText(nullptr);
    m_progress->Hide();
    m_rescan->Show(true);
    m_listView->SetScanning(false);
    m_listView->Fill(m_plugs);
    if (XControl* window = GetParent())
        window->SetEnabled(true);
    Invalidate();
}

// --- WSettings ---

WSettings::Sources WSettings::Sources::Process()
{
    Sources sources;
    sources.prefs = GigaPrefs::Get();
    sources.banks = GigaBankManager::Get();
    sources.plugs = PlugInfoList::GetProcessList();
    return sources;
}

WSettings::WSettings(OvStudio* engine) : WSettings(engine, Sources::Process()) {}

WSettings::WSettings(OvStudio* engine, const Sources& sources) : m_engine(engine)
{
    Build(sources);
}

void WSettings::Build(const Sources& sources)
{
    const std::vector<std::string> notice = UnreadFileLines(sources);
    const int noticeHeight = notice.empty() ? 0 : static_cast<int>(notice.size()) * kSettingsNoticeLineHeight + 4;
    SetBounds(0, 0, kSettingsWidth, kSettingsHeight + noticeHeight);
    SetText("Settings");
    SetColour(3, kFrame);
    SetDialog(true);
    SetCentred(true);

    m_tabs = new XTabSettings(this, 1, 21, -1, 24);
    m_tabs->AddTab("Memory");
    m_tabs->AddTab("Controllers");
    m_tabs->AddTab("Plug-ins");
    m_tabs->SetListener(this);

    const int pageBottom = -34 - noticeHeight;
    m_disk = new XViewDisk(this, 1, 45, -1, pageBottom, sources.prefs, sources.banks);
    m_control =
        new XViewControl(this, 1, 45, -1, pageBottom, sources.prefs ? sources.prefs->controllerMap : nullptr);
    m_plug = new XViewPlug(this, 1, 45, -1, pageBottom, sources.plugs);
    m_pages[0] = m_disk;
    m_pages[1] = m_control;
    m_pages[2] = m_plug;
    for (int i = 1; i < kSettingsPageCount; ++i)
        m_pages[i]->SetVisible(false);

    for (size_t i = 0; i < notice.size(); ++i) {
        const int y = kSettingsHeight - 34 + 2 + static_cast<int>(i) * kSettingsNoticeLineHeight;
        XLabel* line = new XLabel(this, 8, y, -8, kSettingsNoticeLineHeight);
        line->SetColour(0, 0);
        line->SetColour(2, kNoticeText);
        line->SetFont(11, xconst::kFontBold);
        line->SetText(notice[i].c_str());
    }

    m_ok = new XButton(this, -90, -26, -8, -8);
    m_ok->SetText("Ok");
    m_ok->SetColour(0, kOkFace);
    m_ok->SetListener(this);
    SetDefaultButton(m_ok);
}

XControl* WSettings::GetPage(int index) const
{
    return index >= 0 && index < kSettingsPageCount ? m_pages[index] : nullptr;
}

void WSettings::ShowPage(int index)
{
    if (!GetPage(index))
        return;
    for (int i = 0; i < kSettingsPageCount; ++i)
        m_pages[i]->Show(i == index);
    // A page shown directly (not by its tab) is named by its tab too.
    m_tabs->SetCurrent(index);
    Invalidate();
    RequestFullRedraw();
}

int WSettings::Notify(XControl* sender, int code, int value)
{
    if (sender == m_tabs && code == kCodeTabs)
        ShowPage(value);
    else if (dynamic_cast<XButton*>(sender))
        Close(0);
    return 0;
}

void WSettings::OnIdle()
{
    if (m_plug)
        m_plug->PollScan();
}
