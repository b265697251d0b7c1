// The tree view: sorted insertion, rows of expanded folders, filling a
// folder on demand (and a folder found empty), single and sibling
// selection, keys, activation, paths, and callbacks that empty the tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XTreeView.h"

namespace {

using Node = XTreeView::Node;

class Tree : public XTreeView {
public:
    using XTreeView::XTreeView;
    void FillFolder(Node* node) override
    {
        ++fills;
        if (clearOnFill) {
            Clear();
            return;
        }
        for (int i = 0; i < childrenPerFill; ++i)
            AddItem(node, ("child " + std::to_string(i)).c_str(), 0);
    }
    void OnNodeChosen(Node* node) override { chosen.push_back(node); }
    void OnNodeActivated(Node* node) override { activated = node; }

    int fills = 0;
    int childrenPerFill = 0;
    bool clearOnFill = false;
    std::vector<Node*> chosen;
    Node* activated = nullptr;
};

class TreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.SetSize(400, 300);
        tree = new Tree(&root, 0, 0, 200, 150);
    }
    // x 40 is on a top-level name; x 5 on its expander.
    void Click(int row, int x = 40, bool shift = false, bool control = false)
    {
        XMouse m;
        m.SetPress(x, 4 + row * 18 + 9, 0);
        m.shift = shift;
        m.control = control;
        tree->OnMouseDown(m);
        tree->OnMouseUp(m);
    }
    std::vector<std::string> Names(Node* first)
    {
        std::vector<std::string> out;
        for (Node* n = first; n; n = n->next)
            out.push_back(n->name);
        return out;
    }

    XControl root;
    Tree* tree = nullptr;
};

TEST_F(TreeTest, SortedInsertionFoldsCaseAndKeepsEqualNamesInOrder)
{
    tree->SetSorted(true);
    Node* folder = tree->AddFolder(nullptr, "folder", 0);
    Node* b = tree->AddItem(folder, "b", 0);
    Node* upper = tree->AddItem(folder, "A", 0);
    Node* lower = tree->AddItem(folder, "a", 0);
    EXPECT_EQ(folder->firstChild, upper);
    EXPECT_EQ(upper->next, lower);
    EXPECT_EQ(lower->next, b);
    EXPECT_EQ(XTreeView::CompareNames("abc", "ABD"), -1);
    EXPECT_EQ(XTreeView::CompareNames("Zed", "zed"), 0);
    EXPECT_EQ(XTreeView::CompareNames("ab", "a"), 1);
    // Bytes above 127 are signed, so they sort before ASCII.
    EXPECT_EQ(XTreeView::CompareNames("\xE9", "a"), -1);
}

TEST_F(TreeTest, OnlyExpandedFoldersAddRows)
{
    Node* a = tree->AddFolder(nullptr, "a", 0);
    tree->AddFolder(nullptr, "b", 0);
    tree->AddItem(a, "inside", 0);
    EXPECT_EQ(tree->GetRowCount(), 2);
    EXPECT_EQ(tree->GetHeight(), 150);  // never shorter than the view
    Click(0, 5);                        // expander of a
    EXPECT_TRUE(a->Has(XTreeView::kExpanded));
    EXPECT_EQ(tree->GetRowCount(), 3);
    int indent = 0;
    EXPECT_STREQ(tree->NodeAtRow(1, &indent)->name, "inside");
    EXPECT_EQ(indent, 20);
    EXPECT_STREQ(tree->NodeAtRow(2)->name, "b");
    EXPECT_EQ(tree->NodeAtRow(3), nullptr);
    EXPECT_EQ(tree->NodeAtRow(-1), nullptr);
    Click(0, 5);
    EXPECT_EQ(tree->GetRowCount(), 2);
    EXPECT_EQ(tree->fills, 0);
    EXPECT_TRUE(tree->chosen.empty());  // the expander chooses nothing
}

TEST_F(TreeTest, FolderWhoseFillAddsNothingBecomesALeafAndIsNotFilledAgain)
{
    Node* empty = tree->AddFolder(nullptr, "empty", 0);
    Click(0);
    EXPECT_EQ(tree->fills, 1);
    EXPECT_TRUE(empty->Has(XTreeView::kLeaf));
    ASSERT_EQ(tree->chosen.size(), 1u);
    EXPECT_EQ(tree->chosen[0], empty);
    Click(0, 5);
    Click(0);
    EXPECT_EQ(tree->fills, 1);

    Node* full = tree->AddFolder(nullptr, "full", 0);
    tree->childrenPerFill = 3;
    Click(1, 5);
    EXPECT_EQ(tree->fills, 2);
    EXPECT_FALSE(full->Has(XTreeView::kLeaf));
    EXPECT_EQ(tree->GetRowCount(), 5);
}

TEST_F(TreeTest, FillThatEmptiesTheTreeLeavesNoStaleNode)
{
    tree->AddFolder(nullptr, "a", 0);
    tree->clearOnFill = true;
    Click(0);
    EXPECT_EQ(tree->GetFirstNode(), nullptr);
    EXPECT_EQ(tree->GetSelected(), nullptr);
    EXPECT_TRUE(tree->chosen.empty());
    tree->AddFolder(nullptr, "b", 0);
    Click(0, 5);
    EXPECT_EQ(tree->GetFirstNode(), nullptr);
}

TEST_F(TreeTest, SiblingsAreSelectedTogetherAndOtherFoldersAreIgnored)
{
    tree->SetMultiSelection(true);
    Node* one = tree->AddFolder(nullptr, "one", 0);
    Node* two = tree->AddFolder(nullptr, "two", 0);
    Node* three = tree->AddFolder(nullptr, "three", 0);
    Node* child = tree->AddItem(one, "child", 0);
    one->flags |= XTreeView::kExpanded;
    // Rows: one, child, two, three.
    Click(2);
    EXPECT_EQ(tree->GetSelected(), two);
    Click(3, 40, true);
    EXPECT_EQ(tree->GetSelectedCount(), 2);
    EXPECT_EQ(tree->GetSelectedAt(0), two);
    EXPECT_EQ(tree->GetSelectedAt(1), three);
    EXPECT_EQ(tree->GetSelectedAt(2), nullptr);
    Click(1, 60, true);  // a node of another folder: nothing changes
    EXPECT_FALSE(child->Has(XTreeView::kSelected));
    EXPECT_EQ(tree->GetSelectedCount(), 2);
    Click(0, 40, false, true);
    EXPECT_EQ(tree->GetSelectedCount(), 3);
    Click(3, 40, false, true);
    EXPECT_EQ(tree->GetSelectedCount(), 2);
    EXPECT_FALSE(three->Has(XTreeView::kSelected));
    // Shift and Control on empty space keep the selection; a plain click clears it.
    Click(8, 40, true);
    EXPECT_EQ(tree->GetSelectedCount(), 2);
    Click(8);
    EXPECT_EQ(tree->GetSelected(), nullptr);
    EXPECT_FALSE(one->Has(XTreeView::kSelected));
    EXPECT_EQ(tree->chosen.back(), nullptr);
}

TEST_F(TreeTest, ArrowKeysClearTheSelectionAndDoubleClickActivates)
{
    Node* a = tree->AddItem(nullptr, "a", 0);
    XKeyEvent up;
    up.code = xconst::kKeyUp;
    EXPECT_FALSE(tree->OnKey(up));
    Click(0);
    EXPECT_EQ(tree->GetSelectedCount(), 1);
    EXPECT_TRUE(tree->OnKey(up));
    EXPECT_FALSE(a->Has(XTreeView::kSelected));
    EXPECT_EQ(tree->GetSelectedCount(), 0);

    EXPECT_TRUE(tree->OnDoubleClick(40, 13));
    EXPECT_EQ(tree->activated, a);
    EXPECT_TRUE(tree->OnDoubleClick(40, 100));
    EXPECT_EQ(tree->activated, nullptr);
}

TEST_F(TreeTest, PathsJoinNamesUnderTheRootPathAndRefuseWhatDoesNotFit)
{
    Node* drive = tree->AddFolder(nullptr, "/", 0);
    Node* libs = tree->AddFolder(drive, "libs", 0);
    Node* piano = tree->AddItem(libs, "Piano.gig", 0);
    EXPECT_STREQ(tree->GetPath(piano), "/libs/Piano.gig");
    EXPECT_STREQ(tree->GetPath(libs), "/libs/");
    EXPECT_STREQ(tree->GetPath(drive), "/");
    EXPECT_STREQ(tree->GetPath(nullptr), "");

    tree->Clear();
    EXPECT_TRUE(tree->SetRootPath("/home/user/"));
    Node* folder = tree->AddFolder(nullptr, "Strings", 0);
    Node* item = tree->AddItem(folder, "Violin.gig", 0);
    EXPECT_STREQ(tree->GetPath(item), "/home/user/Strings/Violin.gig");
    EXPECT_STREQ(tree->GetPath(folder), "/home/user/Strings/");

    EXPECT_FALSE(tree->SetRootPath(std::string(512, 'r').c_str()));
    EXPECT_STREQ(tree->GetPath(item), "/home/user/Strings/Violin.gig");
    EXPECT_TRUE(tree->SetRootPath(std::string(500, 'r').c_str()));
    EXPECT_STREQ(tree->GetPath(item), "");  // 500 + 19 bytes do not fit
    Node* longName = tree->AddItem(nullptr, std::string(600, 'n').c_str(), 0);
    tree->SetRootPath("");
    EXPECT_STREQ(tree->GetPath(longName), "");
    EXPECT_EQ(tree->GetPath(item), std::string("Strings/Violin.gig"));
}

TEST_F(TreeTest, SelectedNodeIsDrawnInTheSelectionColour)
{
    tree->AddItem(nullptr, "item", 0);
    Click(0);
    XGraphic g;
    g.BeginPaint(nullptr, 400, 300);
    root.Paint(g, true, XRectangle(0, 0, 400, 300));
    // Box from x 4 + 18, y 4 + 1.
    EXPECT_EQ(g.GetPixel(23, 6), XColour::Make(50, 60, 180));
    EXPECT_EQ(g.GetPixel(150, 100), XColour::Make(50, 60, 80));
}

}  // namespace
