// ctest-label: thread
// The settings window: tabs and pages, the "Ok" button, memory figures, the
// preload faders that keep minimum <= tolerance, the controller table (one
// controller per function, edited through its menu), and the plug-in page
// whose rescan runs on the list's thread while the window polls it.
#include "editor/WSettings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/GigaBankHooks.h"
#include "engine/GigaPrefs.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XGraphic.h"
#include "support/TestSupport.h"
#include "vst/PlugInfoList.h"

namespace {

// The headless back end, installed while it lives; the shown menu is its
// window of class "KivMenu".
class MenuBackend : public HeadlessBackend {
public:
    MenuBackend() { XBackend::Install(this); }
    ~MenuBackend() override { XBackend::Install(nullptr); }
    HeadlessWindow* Menu() const { return FindByClass("KivMenu"); }
    // Down n times from the top, then Return.
    void ChooseItem(int n)
    {
        for (int i = 0; i < n; ++i)
            KeyDown(Menu(), xconst::kKeyDown);
        KeyDown(Menu(), xconst::kKeyReturn);
    }
};

void Click(XView& view, int x, int y)
{
    view.HandleMouseDown(x, y, 0, false, false);
    view.HandleMouseUp(x, y, 0);
}

void Paint(XView& view, XGraphic& g)
{
    g.BeginPaint(nullptr, view.GetWidth(), view.GetHeight());
    view.PaintTree(g, true);
}

// Screen point of a control-local point inside the window.
int WindowX(XControl* c, int x) { return c->GetWindowRect().left + x; }
int WindowY(XControl* c, int y) { return c->GetWindowRect().top + y; }

WSettings::Sources PrefsOnly(GigaPrefs& prefs)
{
    WSettings::Sources sources;
    sources.prefs = &prefs;
    return sources;
}

void CopyTestEffect(const std::string& to)
{
    const char* dir = getenv("KIV_TEST_BINARY_DIR");
    std::string bytes = kivtest::ReadFile(std::string(dir ? dir : ".") + "/testplugins/testeffect.so");
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(kivtest::WriteFile(to, bytes.data(), bytes.size()));
}

// Folders under the home folder as the plug-in page shows them, with "~".
std::string Shown(const std::string& folder)
{
    const std::string home = std::string(getenv("HOME")) + "/";
    return folder.compare(0, home.size(), home) == 0 ? "~/" + folder.substr(home.size()) : folder;
}

// Ticks the window until its plug-in page leaves the scanning state.
bool TickUntilScanEnds(WSettings& settings)
{
    for (int i = 0; i < 30000; ++i) {
        settings.Tick(i);
        if (!settings.GetPlugPage()->IsScanning())
            return true;
        usleep(2000);
    }
    return false;
}

}  // namespace

TEST(WSettings, TabsShowOnePageAndOkClosesWithZero)
{
    GigaPrefs prefs;
    WSettings settings(nullptr, PrefsOnly(prefs));
    EXPECT_EQ(settings.GetWidth(), 660);
    EXPECT_EQ(settings.GetHeight(), 348);
    EXPECT_STREQ(settings.GetText(), "Settings");
    XControl* page = settings.GetPage(1);
    EXPECT_EQ(page->GetX(), 1);
    EXPECT_EQ(page->GetY(), 45);
    EXPECT_EQ(page->GetWidth(), 658);
    EXPECT_EQ(page->GetHeight(), 348 - 45 - 34);
    EXPECT_TRUE(settings.GetPage(0)->IsVisible());
    EXPECT_FALSE(settings.GetPage(1)->IsVisible());
    EXPECT_FALSE(settings.GetPage(2)->IsVisible());

    // Before the first draw the tab width is unknown: no tab is taken.
    XTabSettings* tabs = settings.GetTabs();
    int tabW = 658 / 3;
    Click(settings, WindowX(tabs, tabW + 5), WindowY(tabs, 5));
    EXPECT_EQ(tabs->GetCurrent(), 0);

    XGraphic g;
    Paint(settings, g);
    EXPECT_EQ(tabs->GetTabWidth(), tabW);
    Click(settings, WindowX(tabs, 2 * tabW + 5), WindowY(tabs, 5));
    EXPECT_EQ(tabs->GetCurrent(), 2);
    EXPECT_FALSE(settings.GetPage(0)->IsVisible());
    EXPECT_TRUE(settings.GetPage(2)->IsVisible());
    Click(settings, WindowX(tabs, tabW + 5), WindowY(tabs, 5));
    EXPECT_TRUE(settings.GetPage(1)->IsVisible());
    EXPECT_FALSE(settings.GetPage(2)->IsVisible());
    EXPECT_FALSE(settings.IsCloseRequested());

    XButton* ok = settings.GetOkButton();
    Click(settings, WindowX(ok, 5), WindowY(ok, 5));
    EXPECT_TRUE(settings.IsCloseRequested());
    EXPECT_EQ(settings.GetCloseResult(), 0);
}

TEST(WSettings, MemoryFiguresReadInMegabytesBelowOneGigabyte)
{
    struct Case {
        int64_t mb;
        const char* text;
    };
    const Case cases[] = {{0, "0 MB"}, {1023, "1023 MB"}, {1024, "1.00 GB"}, {2048, "2.00 GB"}, {3584, "3.50 GB"}};
    char text[32];
    for (const Case& c : cases) {
        XViewDisk::FormatMegabytes(c.mb, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.mb;
    }

    GigaPrefs prefs;
    prefs.SetBudgetMB(2048);
    WSettings settings(nullptr, PrefsOnly(prefs));
    XViewDisk* disk = settings.GetMemoryPage();
    EXPECT_STREQ(disk->GetValueLabel(1)->GetText(), "2.00 GB");
    // No bank manager: the counts read 0.
    EXPECT_STREQ(disk->GetValueLabel(2)->GetText(), "0");
    EXPECT_STREQ(disk->GetValueLabel(4)->GetText(), "0");
}

TEST(WSettings, PreloadMinimumNeverExceedsToleranceNorFallsBelowItsFloor)
{
    GigaPrefs prefs;
    prefs.SetLmin(1.0f);
    prefs.SetLmax(3.0f);
    WSettings settings(nullptr, PrefsOnly(prefs));
    XFader* minimum = settings.GetMemoryPage()->GetMinimumFader();
    XFader* tolerance = settings.GetMemoryPage()->GetToleranceFader();
    EXPECT_DOUBLE_EQ(minimum->GetValue(), 1.0);
    EXPECT_DOUBLE_EQ(tolerance->GetValue(), 3.0);

    // The tolerance pulls the minimum down with it.
    tolerance->SetValue(0.6);
    EXPECT_FLOAT_EQ(prefs.GetLmax(), 0.6f);
    EXPECT_FLOAT_EQ(prefs.GetLmin(), 0.6f);
    EXPECT_NEAR(minimum->GetValue(), 0.6, 1e-9);
    EXPECT_FLOAT_EQ(GigaHooks::GetPreloadMax(), 0.6f);

    // The minimum pushes the tolerance up.
    minimum->SetValue(2.5);
    EXPECT_FLOAT_EQ(prefs.GetLmin(), 2.5f);
    EXPECT_FLOAT_EQ(prefs.GetLmax(), 2.5f);
    EXPECT_NEAR(tolerance->GetValue(), 2.5, 1e-9);
    EXPECT_FLOAT_EQ(GigaHooks::GetPreloadMin(), 2.5f);

    // Neither goes below 0.2, however far the tolerance is pulled.
    tolerance->SetValue(0.0);
    EXPECT_FLOAT_EQ(prefs.GetLmin(), 0.2f);
    EXPECT_FLOAT_EQ(prefs.GetLmax(), 0.2f);
    minimum->SetValue(-3.0);
    EXPECT_FLOAT_EQ(prefs.GetLmin(), 0.2f);
    EXPECT_LE(prefs.GetLmin(), prefs.GetLmax());
}

TEST(WSettings, ControllerFunctionBelongsToOneControllerAndNoneClearsOnlyTheClicked)
{
    GigaPrefs prefs;
    for (int i = 0; i < giga::kControllerCount; ++i)
        prefs.controllerMap[i] = i;
    WSettings settings(nullptr, PrefsOnly(prefs));
    XListControl* table = settings.GetControllerPage()->GetTable();
    EXPECT_EQ(table->GetX(), 4);
    EXPECT_STREQ(XListControl::FunctionName(7), "volume");
    EXPECT_STREQ(XListControl::FunctionName(2), "not assigned");

    EXPECT_TRUE(table->Assign(2, 7));
    EXPECT_EQ(prefs.controllerMap[2], 7);
    EXPECT_EQ(prefs.controllerMap[7], -1);
    EXPECT_FALSE(table->Assign(2, 7));  // no change

    EXPECT_TRUE(table->Assign(1, -1));
    EXPECT_EQ(prefs.controllerMap[1], -1);
    EXPECT_EQ(prefs.controllerMap[2], 7);
    EXPECT_EQ(prefs.controllerMap[11], 11);
    EXPECT_EQ(prefs.controllerMap[10], 10);

    // Cells: a column is its box, rows of 16 pixels from y 4.
    int column = 0, row = 0;
    EXPECT_EQ(XListControl::CellAt(60, 4 + 16 + 2, column, row), 2);
    EXPECT_EQ(XListControl::CellAt(54 + 164 * 3 + 1, 4 + 15 * 16, column, row), 64);
    EXPECT_EQ(XListControl::CellAt(54, 10, column, row), 0);    // the box's edge
    EXPECT_EQ(XListControl::CellAt(30, 10, column, row), 0);    // the caption
    EXPECT_EQ(XListControl::CellAt(60, 4 + 16 * 16, column, row), 0);
    EXPECT_EQ(XListControl::CellAt(60, 2, column, row), 0);
}

TEST(WSettings, ControllerMenuChoosesAFunctionForTheClickedCell)
{
    MenuBackend backend;
    GigaPrefs prefs;
    for (int i = 0; i < giga::kControllerCount; ++i)
        prefs.controllerMap[i] = i;
    WSettings settings(nullptr, PrefsOnly(prefs));
    settings.ShowPage(1);
    XListControl* table = settings.GetControllerPage()->GetTable();

    // CC #3 (column 0, row 2) becomes "modwheel": CC #1 loses it.
    Click(settings, WindowX(table, 60), WindowY(table, 4 + 2 * 16 + 3));
    backend.ChooseItem(2);
    settings.Tick(1);
    EXPECT_EQ(prefs.controllerMap[3], 1);
    EXPECT_EQ(prefs.controllerMap[1], -1);

    // CC #20 (column 1, row 3) becomes "pan"; a dismissed menu changes nothing.
    Click(settings, WindowX(table, 60 + 164), WindowY(table, 4 + 3 * 16 + 3));
    backend.ChooseItem(5);
    settings.Tick(1);
    EXPECT_EQ(prefs.controllerMap[20], 10);
    EXPECT_EQ(prefs.controllerMap[10], -1);
    Click(settings, WindowX(table, 60 + 164), WindowY(table, 4 + 3 * 16 + 3));
    backend.KeyDown(backend.Menu(), xconst::kKeyEscape);
    settings.Tick(1);
    EXPECT_EQ(prefs.controllerMap[20], 10);

    // Drawn: stripes, the cell boxes.
    XGraphic g;
    Paint(settings, g);
    int left = table->GetWindowRect().left, top = table->GetWindowRect().top;
    EXPECT_EQ(g.GetPixel(left + 2, top + 18 + 8), XColour::Make(245, 245, 255));
    EXPECT_EQ(g.GetPixel(left + 2, top + 18 + 16 + 8), XColour::Make(255, 255, 255));
    EXPECT_EQ(g.GetPixel(left + 4 + 164 + 50 + 88, top + 4 + 16 * 5 + 12), XColour::Make(70, 80, 120));
}

TEST(WSettings, PlugListTellsTheUserWhatToDoWhileEmpty)
{
    WSettings settings(nullptr, WSettings::Sources{});
    XListPlug* list = settings.GetPlugPage()->GetList();
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_STREQ(list->GetEmptyMessage(), "Click on the button below to search for plug-ins");
    list->SetScanning(true);
    EXPECT_STREQ(list->GetEmptyMessage(), "Searching for plug-ins...");
    list->SetScanning(false);

    // Without a list a rescan cannot start: the window stays usable. The
    // page shown directly is the one its tab names.
    settings.ShowPage(2);
    EXPECT_EQ(settings.GetTabs()->GetCurrent(), 2);
    XButton* rescan = settings.GetPlugPage()->GetRescanButton();
    EXPECT_FALSE(settings.GetPlugPage()->GetRemoveButton()->IsEnabled());  // nothing added to take back
    Click(settings, WindowX(rescan, 5), WindowY(rescan, 5));
    EXPECT_TRUE(settings.IsEnabled());
    EXPECT_TRUE(rescan->IsVisible());
    EXPECT_FALSE(settings.GetPlugPage()->GetProgressLine()->IsVisible());
    EXPECT_FALSE(settings.GetPlugPage()->IsScanning());
}

TEST(WSettings, RescanDisablesTheWindowUntilTheScanEndsThenListsEffectsByVendor)
{
    kivtest::TempDir dir;
    kivtest::TempDir second;  // the folder is a list of two
    CopyTestEffect(second.File("b.so"));
    CopyTestEffect(dir.File("a.so"));
    kivtest::WriteFile(dir.File("bad.so"), "no library", 10);
    PlugInfoList plugs;
    plugs.Load("Quillane", "settingsscan");
    ASSERT_TRUE(plugs.SetFolder((dir.Path() + ":" + second.Path()).c_str()));

    WSettings::Sources sources;
    sources.plugs = &plugs;
    WSettings settings(nullptr, sources);
    settings.ShowPage(2);
    XViewPlug* page = settings.GetPlugPage();
    EXPECT_EQ(std::string(page->GetFolderSelector()->GetText()), Shown(dir.Path() + "/") + ":" + Shown(second.Path() + "/"));

    XButton* rescan = page->GetRescanButton();
    Click(settings, WindowX(rescan, 5), WindowY(rescan, 5));
    EXPECT_TRUE(page->IsScanning());
    EXPECT_FALSE(settings.IsEnabled());
    EXPECT_FALSE(rescan->IsVisible());
    EXPECT_TRUE(page->GetProgressLine()->IsVisible());
    EXPECT_TRUE(page->GetList()->IsScanning());

    ASSERT_TRUE(TickUntilScanEnds(settings));
    EXPECT_TRUE(settings.IsEnabled());
    EXPECT_TRUE(rescan->IsVisible());
    EXPECT_FALSE(page->GetProgressLine()->IsVisible());
    EXPECT_EQ(page->GetProgressLine()->GetText(), nullptr);
    // Effects only (the failed library is left out), in the list's order.
    XListPlug* list = page->GetList();
    ASSERT_EQ(list->GetCount(), 2);
    EXPECT_STREQ(list->GetName(0), "a.so");
    EXPECT_STREQ(list->GetName(1), "b.so");
    EXPECT_STREQ(list->GetVendor(0), "Tessivo Test Vendor");
}

TEST(WSettings, FolderChoiceAddsAFolderOnceAndClearsTheListAndRemovalTakesItBack)
{
    MenuBackend backend;
    kivtest::TempDir dir;
    kivtest::TempDir other;
    CopyTestEffect(dir.File("a.so"));
    PlugInfoList plugs;
    plugs.Load("Quillane", "settingsfolder");
    ASSERT_TRUE(plugs.SetFolder(dir.Path().c_str()));
    ASSERT_TRUE(plugs.StartScan(nullptr, nullptr));
    while (plugs.IsScanning())
        usleep(2000);

    WSettings::Sources sources;
    sources.plugs = &plugs;
    WSettings settings(nullptr, sources);
    XViewPlug* page = settings.GetPlugPage();
    EXPECT_EQ(page->GetList()->GetCount(), 1);

    // The chosen folder joins the list, once however often it is chosen; a
    // cancelled browser changes nothing.
    const std::string both = dir.Path() + "/:" + other.Path() + "/";
    const std::string shown = Shown(dir.Path() + "/") + ":" + Shown(other.Path() + "/");
    EXPECT_EQ(shown.substr(0, 2), "~/");
    for (const std::string& answer : {other.Path() + "\n", other.Path() + "\n", std::string()}) {
        setenv("KIV_DIALOG_ANSWER", answer.c_str(), 1);
        page->Notify(page->GetFolderSelector(), 0, 0);
        unsetenv("KIV_DIALOG_ANSWER");
        settings.Tick(1);  // the browser's answer arrives
        EXPECT_EQ(plugs.GetFolder(), both);
        EXPECT_EQ(std::string(page->GetFolderSelector()->GetText()), shown);
        EXPECT_EQ(page->GetList()->GetCount(), 0);
    }

    // Taken back one by one through the remove button's menu; with none
    // left the button goes out.
    XButton* remove = page->GetRemoveButton();
    settings.ShowPage(2);
    for (const std::string& left : {dir.Path() + "/", std::string()}) {
        ASSERT_TRUE(remove->IsEnabled());
        Click(settings, WindowX(remove, 5), WindowY(remove, 5));
        ASSERT_NE(backend.Menu(), nullptr);
        backend.ChooseItem(left.empty() ? 1 : 2);
        settings.Tick(2);
        EXPECT_EQ(plugs.GetAddedFolders(), left);
    }
    EXPECT_FALSE(remove->IsEnabled());
    EXPECT_STREQ(page->GetFolderSelector()->GetText(), nullptr);
}

TEST(WSettings, WindowClosedDuringAScanLeavesTheScanNothingToTouch)
{
    kivtest::TempDir dir;
    for (int i = 0; i < 4; ++i)
        CopyTestEffect(dir.File("fx" + std::to_string(i) + ".so"));
    PlugInfoList plugs;
    plugs.Load("Quillane", "settingsclose");
    ASSERT_TRUE(plugs.SetFolder(dir.Path().c_str()));
    WSettings::Sources sources;
    sources.plugs = &plugs;
    {
        auto* settings = new WSettings(nullptr, sources);
        XButton* rescan = settings->GetPlugPage()->GetRescanButton();
        settings->ShowPage(2);
        Click(*settings, WindowX(rescan, 5), WindowY(rescan, 5));
        EXPECT_TRUE(plugs.IsScanning());
        delete settings;
    }
    // A window opened while the scan still runs shows it and ends with it.
    WSettings again(nullptr, sources);
    again.Tick(0);
    if (plugs.IsScanning()) {
        EXPECT_FALSE(again.IsEnabled());
    }
    ASSERT_TRUE(TickUntilScanEnds(again));
    EXPECT_TRUE(again.IsEnabled());
    EXPECT_EQ(again.GetPlugPage()->GetList()->GetCount(), 4);
}

TEST(HProgressText, ReaderSeesTheLatestTextOnceAndLongTextsAreCut)
{
    HProgressText text;
    uint32_t seen = text.GetSequence();
    char out[16];
    EXPECT_FALSE(text.ReadIfChanged(seen, out, sizeof out));
    text.Publish("first");
    text.Publish("second");
    ASSERT_TRUE(text.ReadIfChanged(seen, out, sizeof out));
    EXPECT_STREQ(out, "second");
    EXPECT_FALSE(text.ReadIfChanged(seen, out, sizeof out));
    text.Publish(std::string(40, 'x').c_str());
    ASSERT_TRUE(text.ReadIfChanged(seen, out, sizeof out));
    EXPECT_EQ(std::string(out), std::string(15, 'x'));
    text.Publish(nullptr);
    ASSERT_TRUE(text.ReadIfChanged(seen, out, sizeof out));
    EXPECT_STREQ(out, "");
}
