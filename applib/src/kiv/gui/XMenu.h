// XMenu: a popup menu of text items with optional integer values,
// separators and sub-menus, shown at a screen point in our own pop-up
// windows ("KivMenu") with a pointer and keyboard grab. Menus stay inside
// the screen's work area; one taller than it scrolls between two arrow bands
// (the pointer resting on a band, the wheel, or the keys, which keep the
// chosen item in view).
//
// Showing a menu never waits: Open returns at once and the menu lives on
// while the GUI runs (a host's idle call, a program's own loop). When the
// user chooses an item, the waiting control's answer is called from the next
// view tick, never from inside the menu's own input handling, with the
// chosen menu id (0 = the top menu, n = its n-th sub-menu) and value.
// Escape, a press outside the menu and the closing of the waiter's window
// dismiss it without an answer; a left press outside that lands on the
// control pressed just before, within the double-click time, is handed to
// the waiter's view as the double click it is. A waiter that is deleted
// takes its menu with it. One menu is shown at a time in the process:
// opening another dismisses the first. GUI thread only.
#pragma once
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "kiv/data/String.h"

class XControl;
class XMenuPopup;

class XMenu {
public:
    static constexpr int kNoValue = INT_MIN;  // the item has no value
    // Called with the chosen menu id and value.
    using Answer = std::function<void(int menuId, int value)>;

    XMenu() = default;
    XMenu(const XMenu&) = delete;
    XMenu& operator=(const XMenu&) = delete;
    virtual ~XMenu();

    void AddItem(const char* text, int value = kNoValue);
    void AddSeparator();
    // The new sub-menu (owned by this menu); its id is the next number of
    // this menu's sub-menu counter.
    XMenu* AddSubMenu(const char* text);

    // Shows the menu for the waiting control at a screen point and returns
    // at once; false (and no answer ever) when nothing can be shown: no
    // entries, no window system, no waiter. The answer may be empty.
    static bool Open(std::unique_ptr<XMenu> menu, XControl* waiter, int screenX, int screenY, Answer answer);
    // A menu is on the screen.
    static bool IsAnyOpen();
    // A key the host passed to the editor while a menu is shown goes to the
    // menu; false when no menu is shown.
    static bool HandleKey(int code);
    // Dismisses a shown menu (a choice already made is still answered).
    static void Dismiss();
    // The window of `root` closes: its menu goes, answered or not.
    static void CloseWithin(XControl* root);
    // The control is being deleted: a menu it waits for goes with it.
    static void ForgetWaiter(XControl* control);
    // Each view tick: answers a choice, or hands a dismissing press to the
    // waiter's view.
    static void Deliver();

    int GetChosenMenu() const { return m_chosenMenu; }
    int GetChosenValue() const { return m_chosenValue; }

    // Item k (from 1) of the menu with id m has the command (m << 16) + k.
    // Sets the chosen menu and value from a command; false for a command
    // that names no item.
    bool DecodeCommand(uint32_t command);

    // What the pop-up shows.
    enum class Kind { kItem, kSeparator, kSubMenu };
    struct Entry {
        Kind kind;
        kiv::string text;
        uint32_t command;  // items only
        XMenu* subMenu;    // sub-menu entries only (owned)
    };
    int CountEntries() const { return static_cast<int>(m_entries.size()); }
    const Entry& GetEntry(int n) const { return m_entries[n]; }
    int GetMenuId() const { return m_menuId; }

private:
    XMenu* FindMenu(int id);

    static XMenuPopup* s_open;  // the menu on the screen or waiting to answer (owned)

    XMenu* m_parent = nullptr;
    std::vector<Entry> m_entries;
    std::vector<std::unique_ptr<XMenu>> m_subMenus;
    int m_subMenuCounter = 0;
    int m_menuId = 0;
    int m_itemCounter = 0;
    std::vector<int> m_values;  // index k - 1; kNoValue where an item has none
    int m_chosenMenu = 0;
    int m_chosenValue = 0;
};
