// The editor's browser (XViewNav): three panes side by side, the favourite
// folders (XListLink), the disks and folders (XTreeGiga) and the
// instruments of the .gig bank chosen in the tree (XListInst). A double
// click on an instrument asks the editor (the view's listener, code 0,
// value 'load') to load it into the selected part; the editor reads the
// bank's path (GetBankPath) and GetSelectedInstrument.
//
// The favourites come from a FavList shared by every editor of the process;
// the view compares the list's change counter when it is shown and before
// acting on the favourites pane, and refills the panes when another view
// changed the list.
//
// Threads: GUI thread only.
#pragma once
#include <cstdint>

#include "editor/BrowserConst.h"
#include "engine/GigaBank.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XListView.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XTreeView.h"

class FavList;

// Drives, folders, .gig banks (type 3) and presets (type 4), sorted by name.
class XTreeGiga : public XTreeView {
public:
    XTreeGiga(XControl* parent, int x, int y, int w, int h);

    // Clears the tree; null lists the drives, a path becomes the root path
    // and its folder is listed at the top level.
    void ShowRoot(const char* path);
    // Lists the folder at the node's path under it; null lists the drives.
    void FillFolder(Node* node) override;
    // Tells the listener (0, number of selected nodes).
    void OnNodeChosen(Node* node) override;

    // Top-level drive nodes: "/", the home folder and the mounted volumes.
    void ListDrives();
    // Adds the visible entries of the folder at `path` under `parent`.
    void ListFolder(Node* parent, const char* path);
    // The node type a file name shows as: bank, preset or 0 (not shown).
    static int FileType(const char* name);
};

// The instruments of the listed bank; a double click tells 'load'. A bank
// that cannot be read shows why in place of its instruments (the list's
// text, drawn while it has no rows).
class XListInst : public XListString {
public:
    XListInst(XControl* parent, int x, int y, int w, int h);
    bool OnItemActivated(XListItem* item, int x, int y) override;
    void Draw(XGraphic& graphic) override;

    // The listed bank's path, or null when no bank is listed.
    const char* GetBankPath() const { return m_bankPath; }
    void SetBankPath(const char* path) { m_bankPath = path; }

private:
    const char* m_bankPath = nullptr;  // XViewNav's path buffer
};

// The favourites: row 0 "Computer", then one row per favourite folder. It
// takes folders dropped from the tree ('fnew') and reports a favourite
// dragged out of it ('fdel').
class XListLink : public XListString {
public:
    XListLink(XControl* parent, int x, int y, int w, int h);

    bool OnDragOver(XControl* source, uint32_t kind) override;
    bool OnDragEnter(XControl* source, uint32_t kind) override;
    void OnDragLeave(XControl* source, uint32_t kind) override;
    void OnDrop(XControl* source, uint32_t kind) override;
    void OnDragEnd(int x, int y) override;
};

class XViewNav : public XControl, public XListener {
public:
    // `favourites` null: the process-wide list (FavList::GetProcessList).
    XViewNav(XControl* parent, int x, int y, int w, int h, FavList* favourites = nullptr);
    ~XViewNav() override;

    void Draw(XGraphic& graphic) override;
    void OnShow() override { RefreshFavorites(); }
    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    // Refills the favourites pane and shows the drives when the list changed
    // since this view last looked; true when it did.
    bool RefreshFavorites();
    // 0 when no instrument is selected, else the selected row's index.
    int GetSelectedInstrument() const;
    // The chosen bank's full path ("" when none).
    const char* GetBankPath() const { return m_bankPath; }

    XListLink* GetFavoritesPane() const { return m_favorites; }
    XTreeGiga* GetTree() const { return m_tree; }
    XListInst* GetInstrumentsPane() const { return m_instruments; }
    FavList* GetFavList() const { return m_favList; }

private:
    void OnFavoritesNotify(int code);
    void ListInstruments();
    void ShowFolderOf(int row);

    FavList* m_favList = nullptr;
    XListLink* m_favorites = nullptr;
    XTreeGiga* m_tree = nullptr;
    XListInst* m_instruments = nullptr;
    GigaBank m_bank;  // reads only the instrument names of the chosen bank
    char m_bankPath[browser::kBankPathBytes] = {};
    int32_t m_seenChange = -1;
};
