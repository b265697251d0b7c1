// The browser view: which files and folders the tree shows, the drives,
// the favourites pane kept in step with the shared list (drops, drags out,
// a full list, edits from another view), and the instruments of a chosen
// bank with the load request.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "editor/BrowserConst.h"
#include "editor/FavList.h"
#include "editor/XViewNav.h"
#include "engine/GigaBank.h"
#include "gig/GigFixtures.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XInput.h"
#include "support/TestSupport.h"

namespace {

using Node = XTreeView::Node;
using namespace browser;

struct Recorder : XListener {
    int Notify(XControl* sender, int code, int value) override
    {
        (void)sender;
        calls.push_back({code, value});
        return 0;
    }
    std::vector<std::pair<int, int>> calls;
};

std::vector<std::string> Names(const Node* first)
{
    std::vector<std::string> out;
    for (const Node* n = first; n; n = n->next)
        out.push_back(n->name);
    return out;
}

Node* FindNode(const Node* first, const std::string& name)
{
    for (const Node* n = first; n; n = n->next) {
        if (name == n->name)
            return const_cast<Node*>(n);
    }
    return nullptr;
}

int RowOf(XTreeView* tree, const Node* node)
{
    for (int row = 0; row < tree->GetRowCount(); ++row) {
        if (tree->NodeAtRow(row) == node)
            return row;
    }
    return -1;
}

void ClickRow(XTreeView* tree, int row)
{
    XMouse m;
    m.SetPress(40, 4 + row * 18 + 9, 0);
    tree->OnMouseDown(m);
    tree->OnMouseUp(m);
}

void Touch(const std::string& path) { ASSERT_TRUE(kivtest::WriteFile(path, "x", 1)); }

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.SetSize(900, 320);
        folder = dir.Path() + "/lib";
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        ASSERT_EQ(mkdir((folder + "/Strings").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((folder + "/.cache").c_str(), 0755), 0);
        Touch(folder + "/Loud.GIG");
        Touch(folder + "/.gig");
        Touch(folder + "/.hidden.gig");
        Touch(folder + "/Solo.tvpreset");
        Touch(folder + "/notes.txt");
        Touch(folder + "/gig");
    }
    XViewNav* MakeNav()
    {
        auto* nav = new XViewNav(&root, 0, 0, 870, 300, &favourites);
        nav->SetListener(&editor);
        nav->OnShow();
        return nav;
    }
    // Selects the top-level node of that name in the tree.
    Node* Choose(XTreeGiga* tree, const std::string& name)
    {
        Node* node = FindNode(tree->GetFirstNode(), name);
        if (node)
            ClickRow(tree, RowOf(tree, node));
        return node;
    }

    kivtest::TempDir dir;
    std::string folder;
    FavList favourites{(dir.Path() + "/tessivo.fav").c_str()};
    XControl root;
    Recorder editor;
};

TEST_F(BrowserTest, FolderListingSkipsHiddenEntriesAndSortsByName)
{
    XTreeGiga tree(&root, 0, 0, 400, 200);
    tree.ShowRoot(folder.c_str());
    EXPECT_EQ(Names(tree.GetFirstNode()), (std::vector<std::string>{"Loud.GIG", "Solo.tvpreset", "Strings"}));
    Node* strings = FindNode(tree.GetFirstNode(), "Strings");
    ASSERT_NE(strings, nullptr);
    EXPECT_EQ(strings->value, kNodeFolder);
    EXPECT_EQ(FindNode(tree.GetFirstNode(), "Loud.GIG")->value, kNodeBank);
    EXPECT_EQ(FindNode(tree.GetFirstNode(), "Solo.tvpreset")->value, kNodePreset);
    EXPECT_EQ(XTreeGiga::FileType("a.gig.txt"), 0);
    // Paths start at the root, with or without its trailing separator.
    EXPECT_EQ(std::string(tree.GetPath(strings)), folder + "/Strings/");
    tree.ShowRoot((folder + "/").c_str());
    EXPECT_EQ(std::string(tree.GetPath(FindNode(tree.GetFirstNode(), "Strings"))), folder + "/Strings/");
    // A folder that cannot be listed shows nothing.
    tree.ShowRoot((folder + "/absent").c_str());
    EXPECT_EQ(tree.GetFirstNode(), nullptr);
}

TEST_F(BrowserTest, DrivesAreTheRootTheHomeAndMountedVolumes)
{
    XTreeGiga tree(&root, 0, 0, 400, 200);
    tree.ShowRoot(nullptr);
    ASSERT_NE(tree.GetFirstNode(), nullptr);
    EXPECT_STREQ(tree.GetFirstNode()->name, "/");
    for (const Node* n = tree.GetFirstNode(); n; n = n->next) {
        EXPECT_EQ(n->value, kNodeDrive);
        EXPECT_EQ(n->name[0], '/');
        EXPECT_TRUE(n->Has(XTreeView::kFolder));
    }
    EXPECT_NE(FindNode(tree.GetFirstNode(), getenv("HOME")), nullptr);
}

TEST_F(BrowserTest, EmptyFavouritesShowComputerAndTheDrives)
{
    XViewNav* nav = MakeNav();
    XListLink* pane = nav->GetFavoritesPane();
    ASSERT_EQ(pane->GetCount(), 1);
    EXPECT_STREQ(static_cast<XListStringItem*>(pane->GetItem(0))->text.CStr(), "Computer");
    EXPECT_EQ(pane->GetSelected(0), pane->GetItem(0));
    EXPECT_STREQ(nav->GetTree()->GetFirstNode()->name, "/");
    // Showing again with nothing changed does not refill.
    EXPECT_FALSE(nav->RefreshFavorites());
}

TEST_F(BrowserTest, DroppingAFolderAddsAFavouriteAndABankDoesNot)
{
    favourites.Add((folder + "/").c_str());
    XViewNav* nav = MakeNav();
    XListLink* pane = nav->GetFavoritesPane();
    ASSERT_EQ(pane->GetCount(), 2);
    EXPECT_STREQ(static_cast<XListStringItem*>(pane->GetItem(1))->text.CStr(), "lib");

    // Selecting the favourite lists its folder.
    pane->Select(1);
    nav->Notify(pane, 0, 1);
    XTreeGiga* tree = nav->GetTree();
    ASSERT_NE(FindNode(tree->GetFirstNode(), "Strings"), nullptr);

    // A bank is no favourite: not accepted by the pane, not added on a drop.
    Choose(tree, "Loud.GIG");
    EXPECT_FALSE(pane->OnDragOver(tree, kDragTree));
    nav->Notify(pane, kCodeFavNew, 0);
    EXPECT_EQ(pane->GetCount(), 2);
    EXPECT_EQ(favourites.GetCount(), 1);

    Choose(tree, "Strings");
    EXPECT_TRUE(pane->OnDragOver(tree, kDragTree));
    EXPECT_FALSE(pane->OnDragOver(tree, kDragInst));
    pane->OnDrop(tree, kDragTree);
    ASSERT_EQ(pane->GetCount(), 3);
    EXPECT_STREQ(static_cast<XListStringItem*>(pane->GetItem(2))->text.CStr(), "Strings");
    ASSERT_EQ(favourites.GetCount(), 2);
    EXPECT_EQ(std::string(favourites.GetPath(2)), folder + "/Strings/");
    // Its own edit does not make the view refill.
    EXPECT_FALSE(nav->RefreshFavorites());
}

TEST_F(BrowserTest, DraggingAFavouriteOutRemovesItButNeverComputer)
{
    favourites.Add("/one/A/");
    favourites.Add("/two/B/");
    XViewNav* nav = MakeNav();
    XListLink* pane = nav->GetFavoritesPane();

    pane->Select(0);
    pane->OnDragEnd(-10, 5);
    EXPECT_EQ(pane->GetCount(), 3);
    EXPECT_EQ(favourites.GetCount(), 2);

    pane->Select(1);
    pane->OnDragEnd(50, 50);  // dropped inside the pane: kept
    EXPECT_EQ(favourites.GetCount(), 2);
    pane->OnDragEnd(50, pane->GetHeight() + 5);
    EXPECT_EQ(pane->GetCount(), 2);
    ASSERT_EQ(favourites.GetCount(), 1);
    EXPECT_STREQ(favourites.GetPath(1), "/two/B/");
    EXPECT_EQ(nav->GetTree()->GetFirstNode(), nullptr);
    // The counter moved: the next showing refills and shows the drives.
    EXPECT_TRUE(nav->RefreshFavorites());
    EXPECT_STREQ(nav->GetTree()->GetFirstNode()->name, "/");
}

TEST_F(BrowserTest, FullListAddsNoRowSoPaneAndListStayInStep)
{
    for (int i = 0; i < kFavMaxEntries; ++i)
        favourites.Add(("/f/" + std::to_string(i) + "/").c_str());
    XViewNav* nav = MakeNav();
    XListLink* pane = nav->GetFavoritesPane();
    ASSERT_EQ(pane->GetCount(), kFavMaxEntries + 1);
    nav->GetTree()->ShowRoot(folder.c_str());
    Choose(nav->GetTree(), "Strings");
    nav->Notify(pane, kCodeFavNew, 0);
    EXPECT_EQ(pane->GetCount(), kFavMaxEntries + 1);
    EXPECT_EQ(favourites.GetCount(), kFavMaxEntries);
}

TEST_F(BrowserTest, EditByAnotherViewRefillsInsteadOfActing)
{
    favourites.Add("/one/A/");
    XViewNav* first = MakeNav();
    XViewNav* second = MakeNav();
    second->GetFavoritesPane()->Select(1);
    second->Notify(second->GetFavoritesPane(), kCodeFavDelete, 0);
    ASSERT_EQ(favourites.GetCount(), 0);

    // The first view still shows the removed row; a delete from it is not
    // acted on, the panes are refilled.
    XListLink* pane = first->GetFavoritesPane();
    ASSERT_EQ(pane->GetCount(), 2);
    pane->Select(1);
    first->Notify(pane, kCodeFavDelete, 0);
    EXPECT_EQ(pane->GetCount(), 1);
    EXPECT_EQ(favourites.GetChangeCount(), 3);  // one add, one removal
}

TEST_F(BrowserTest, ChoosingABankListsItsInstrumentsAndDoubleClickAsksToLoad)
{
    auto fixture = gigtools::DemoPianoFixture();
    std::string bankPath = folder + "/Demo Piano.gig";
    ASSERT_TRUE(fixture.bank.Write(bankPath));
    GigaBank reference;
    ASSERT_TRUE(reference.Open(bankPath.c_str()));

    XViewNav* nav = MakeNav();
    XTreeGiga* tree = nav->GetTree();
    tree->ShowRoot(folder.c_str());
    ASSERT_NE(Choose(tree, "Demo Piano.gig"), nullptr);
    XListInst* list = nav->GetInstrumentsPane();
    ASSERT_EQ(list->GetCount(), reference.GetProgramCount());
    for (int i = 0; i < list->GetCount(); ++i)
        EXPECT_STREQ(static_cast<XListStringItem*>(list->GetItem(i))->text.CStr(),
                     reference.GetProgram(i)->GetName());
    ASSERT_NE(list->GetBankPath(), nullptr);
    EXPECT_EQ(std::string(list->GetBankPath()), bankPath);
    EXPECT_EQ(std::string(nav->GetBankPath()), bankPath);

    EXPECT_EQ(nav->GetSelectedInstrument(), 0);
    list->Select(1);
    EXPECT_EQ(nav->GetSelectedInstrument(), 1);
    list->OnDoubleClick(20, 4 + 18 + 9);
    ASSERT_EQ(editor.calls.size(), 1u);
    EXPECT_EQ(editor.calls[0], std::make_pair(0, kCodeLoad));

    // A folder, or a file that only looks like a bank, empties the pane.
    Choose(tree, "Strings");
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(list->GetBankPath(), nullptr);
    Choose(tree, "Loud.GIG");
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(list->GetBankPath(), nullptr);
    EXPECT_STREQ(nav->GetBankPath(), "");
}

}  // namespace
