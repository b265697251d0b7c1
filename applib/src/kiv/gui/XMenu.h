// XMenu: a popup menu of text items with optional integer values,
// separators and sub-menus, shown at a screen point in our own pop-up
// windows ("KivMenu") with a pointer and keyboard grab. Track waits (pumping
// the window system) until the user chooses an item or dismisses the menu,
// and leaves the chosen menu id (0 = the top menu, n = its n-th sub-menu)
// and the chosen value. Menus stay inside the screen's work area; one
// taller than it scrolls between two arrow bands (the pointer resting on a
// band, the wheel, or the keys, which keep the chosen item in view). Built
// on the stack for one use; GUI thread only.
#pragma once
#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

#include "kiv/data/String.h"

class XMenuPopup;

class XMenu {
public:
    static constexpr int kNoValue = INT_MIN;  // the item has no value

    XMenu() = default;
    XMenu(const XMenu&) = delete;
    XMenu& operator=(const XMenu&) = delete;
    virtual ~XMenu();

    void AddItem(const char* text, int value = kNoValue);
    void AddSeparator();
    // The new sub-menu (owned by this menu); its id is the next number of
    // this menu's sub-menu counter.
    XMenu* AddSubMenu(const char* text);

    // True when an item was chosen.
    bool Track(int screenX, int screenY);
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
