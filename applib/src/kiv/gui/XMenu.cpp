#include "kiv/gui/XMenu.h"

#include <algorithm>

#include "kiv/gui/XBackend.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XPopup.h"

namespace {

constexpr const char* kMenuClass = "KivMenu";
constexpr int kItemHeight = 20;       // px
constexpr int kSeparatorHeight = 7;   // px
constexpr int kTextLeft = 10;         // px
constexpr int kRightMargin = 28;      // px, room for a sub-menu arrow
constexpr int kMinWidth = 80;         // px
constexpr int kBorder = 1;            // px
constexpr int kPumpMs = 50;           // longest wait per pump while the menu is open
constexpr int kScrollBand = 14;       // px, the arrow band at each end of a menu taller than the screen
constexpr int kScrollMs = 50;         // one item per step while the pointer rests on a band
constexpr int kWheelItems = 3;        // items scrolled per wheel notch
constexpr int kValueTableStep = 32;   // the value table grows by this many entries
const XColourValue kFace = XColour::Make(242, 242, 242);
const XColourValue kFrame = XColour::Make(120, 120, 120);
const XColourValue kText = XColour::Make(0, 0, 0);
const XColourValue kHighlight = XColour::Make(51, 120, 215);
const XColourValue kHighlightText = XColour::Make(255, 255, 255);
const XColourValue kSeparator = XColour::Make(190, 190, 190);

}  // namespace

// One open menu session: a window per open level (the top menu and the
// chain of open sub-menus). The top window holds the grab, so every input
// arrives there; points are turned into screen points and matched against
// the levels.
class XMenuPopup : public XNativeSink {
public:
    XMenuPopup(XMenu* top, XBackend* backend) : m_top(top), m_backend(backend) {}
    ~XMenuPopup() override { Close(); }

    bool Open(int x, int y)
    {
        if (!OpenLevel(m_top, x, y, x))
            return false;
        if (!xpopup::Grab(m_backend, m_levels[0]->window.get())) {
            Close();
            return false;
        }
        m_grabbed = true;
        return true;
    }
    bool IsOpen() const { return !m_levels.empty(); }
    uint32_t GetCommand() const { return m_command; }

    void OnNativeMessage(XNativeWindow* from, const XNativeMessage& message) override
    {
        if (m_levels.empty())
            return;
        if (message.kind == XNativeMessage::kTimer) {
            if (m_scrollLevel >= 0 && m_scrollLevel < static_cast<int>(m_levels.size()))
                ScrollBy(*m_levels[m_scrollLevel], m_scrollStep * kItemHeight);
            return;
        }
        if (message.kind == XNativeMessage::kWheel) {
            // Wheel points are on the screen already.
            int index = LevelAt(message.x, message.y);
            if (index >= 0)
                ScrollBy(*m_levels[index], (message.value > 0 ? -1 : 1) * kWheelItems * kItemHeight);
            return;
        }
        int sx = 0, sy = 0;
        if (from) {
            int w, h;
            from->GetScreenRect(sx, sy, w, h);
        }
        sx += message.x;
        sy += message.y;
        switch (message.kind) {
        case XNativeMessage::kPaint:
            for (auto& level : m_levels) {
                if (level->window.get() == from)
                    level->graphic.Blit();
            }
            break;
        case XNativeMessage::kMouseMove:
            PointerAt(sx, sy, true);
            break;
        case XNativeMessage::kLButtonDown:
        case XNativeMessage::kRButtonDown:
            if (LevelAt(sx, sy) < 0) {
                Close();  // a press outside every level dismisses the menu
                return;
            }
            m_pressed = true;
            PointerAt(sx, sy, false);
            break;
        case XNativeMessage::kLButtonUp:
        case XNativeMessage::kRButtonUp:
            // The release of the press that opened the menu chooses nothing
            // unless the pointer went to an item first.
            if (m_pressed || m_moved) {
                PointerAt(sx, sy, false);
                int level = LevelAt(sx, sy);
                if (level >= 0)
                    Activate(level);
            }
            break;
        case XNativeMessage::kKeyDown:
            Key(message.value);
            break;
        case XNativeMessage::kClose:
            Close();
            break;
        default:
            break;
        }
    }

private:
    // A level taller than the work area shows a window of the work area's
    // height that scrolls its entries between two arrow bands.
    struct Level {
        XMenu* menu = nullptr;
        std::unique_ptr<XNativeWindow> window;
        XGraphic graphic;
        int x = 0, y = 0, w = 0, h = 0;
        int highlight = -1;
        int contentH = 0;  // all entries
        int scroll = 0;    // px of the entries above the list area
        bool scrolls = false;
        int ListTop() const { return kBorder + (scrolls ? kScrollBand : 0); }
        int ListBottom() const { return h - kBorder - (scrolls ? kScrollBand : 0); }
        int MaxScroll() const { return std::max(0, contentH - (ListBottom() - ListTop())); }
    };

    static int EntryHeight(const XMenu::Entry& entry)
    {
        return entry.kind == XMenu::Kind::kSeparator ? kSeparatorHeight : kItemHeight;
    }

    // Opens a level at (x, y); a sub-menu that does not fit on the right
    // opens to the left of leftEdge.
    bool OpenLevel(XMenu* menu, int x, int y, int leftEdge)
    {
        auto level = std::make_unique<Level>();
        level->menu = menu;
        XGraphic& g = level->graphic;
        g.BeginPaint(nullptr, 1, 1);
        g.SetFontPreset(fourcc("xfdf"));
        int w = kMinWidth, contentH = 0;
        for (int i = 0; i < menu->CountEntries(); ++i) {
            const XMenu::Entry& entry = menu->GetEntry(i);
            contentH += EntryHeight(entry);
            if (entry.kind != XMenu::Kind::kSeparator)
                w = std::max(w, g.GetTextSize(entry.text.GetText()).width + kTextLeft + kRightMargin);
        }
        int h = contentH + 2 * kBorder;
        // Every entry must be reachable: the menu stays inside the work area
        // (the screen less the desktop's panels) and scrolls when taller.
        int areaX = 0, areaY = 0, areaW = 0, areaH = 0;
        m_backend->GetWorkArea(areaX, areaY, areaW, areaH);
        bool scrolls = false;
        if (areaH > 0 && h > areaH) {
            // Whole rows between the bands, so no row shows cut in half.
            int chrome = 2 * kBorder + 2 * kScrollBand;
            h = chrome + std::max(kItemHeight, (areaH - chrome) / kItemHeight * kItemHeight);
            scrolls = true;
        }
        if (areaW > 0) {
            w = std::min(w, areaW);
            if (x + w > areaX + areaW)
                x = (leftEdge != x ? leftEdge : areaX + areaW) - w;
            x = std::max(x, areaX);
        }
        if (areaH > 0) {
            if (y + h > areaY + areaH)
                y = areaY + areaH - h;
            y = std::max(y, areaY);
        }
        xpopup::Layout desc;
        desc.className = kMenuClass;
        desc.x = x;
        desc.y = y;
        desc.w = w;
        desc.h = h;
        level->window = xpopup::Create(m_backend, desc);
        if (!level->window)
            return false;
        level->window->SetSink(this);
        level->x = x;
        level->y = y;
        level->w = w;
        level->h = h;
        level->contentH = contentH;
        level->scrolls = scrolls;
        m_levels.push_back(std::move(level));
        Draw(*m_levels.back());
        m_levels.back()->window->Show();
        return true;
    }

    void CloseLevelsAbove(int keep)
    {
        while (static_cast<int>(m_levels.size()) > keep + 1)
            m_levels.pop_back();
    }

    void Close()
    {
        StopScrolling();
        if (m_grabbed && !m_levels.empty())
            xpopup::Release(m_backend, m_levels[0]->window.get());
        m_grabbed = false;
        // Sub-menus first, the grabbing top window last.
        while (!m_levels.empty())
            m_levels.pop_back();
    }

    int LevelAt(int sx, int sy) const
    {
        for (int i = static_cast<int>(m_levels.size()) - 1; i >= 0; --i) {
            const Level& l = *m_levels[i];
            if (sx >= l.x && sx < l.x + l.w && sy >= l.y && sy < l.y + l.h)
                return i;
        }
        return -1;
    }

    // Only entries shown in the list area can be hit.
    static int EntryAt(const Level& level, int sy)
    {
        int local = sy - level.y;
        if (local < level.ListTop() || local >= level.ListBottom())
            return -1;
        int y = level.y + level.ListTop() - level.scroll;
        for (int i = 0; i < level.menu->CountEntries(); ++i) {
            int h = EntryHeight(level.menu->GetEntry(i));
            if (sy >= y && sy < y + h)
                return i;
            y += h;
        }
        return -1;
    }

    // Top of entry n in the level's window.
    static int EntryTop(const Level& level, int n)
    {
        int y = level.ListTop() - level.scroll;
        for (int i = 0; i < n; ++i)
            y += EntryHeight(level.menu->GetEntry(i));
        return y;
    }

    // -1 on the upper arrow band, 1 on the lower, else 0.
    static int BandAt(const Level& level, int sy)
    {
        if (!level.scrolls)
            return 0;
        int local = sy - level.y;
        if (local < level.ListTop())
            return -1;
        return local >= level.ListBottom() ? 1 : 0;
    }

    void ScrollBy(Level& level, int dy)
    {
        int scroll = std::clamp(level.scroll + dy, 0, level.MaxScroll());
        if (scroll == level.scroll)
            return;
        level.scroll = scroll;
        Draw(level);
    }

    void EnsureVisible(Level& level, int n)
    {
        int top = EntryTop(level, n);
        int bottom = top + EntryHeight(level.menu->GetEntry(n));
        if (top < level.ListTop())
            level.scroll -= level.ListTop() - top;
        else if (bottom > level.ListBottom())
            level.scroll += bottom - level.ListBottom();
        level.scroll = std::clamp(level.scroll, 0, level.MaxScroll());
    }

    void StartScrolling(int index, int step)
    {
        if (m_scrollLevel == index && m_scrollStep == step)
            return;
        m_scrollLevel = index;
        m_scrollStep = step;
        m_backend->SetTimer(this, kScrollMs);
    }

    void StopScrolling()
    {
        if (m_scrollLevel < 0)
            return;
        m_scrollLevel = -1;
        m_scrollStep = 0;
        m_backend->KillTimer(this);
    }

    void PointerAt(int sx, int sy, bool moved)
    {
        int index = LevelAt(sx, sy);
        if (index < 0)
            return;
        Level& level = *m_levels[index];
        if (int band = BandAt(level, sy)) {
            Highlight(index, -1);
            StartScrolling(index, band);
            return;
        }
        StopScrolling();
        int entry = EntryAt(level, sy);
        if (entry >= 0 && level.menu->GetEntry(entry).kind == XMenu::Kind::kSeparator)
            entry = -1;
        if (moved && entry >= 0)
            m_moved = true;
        Highlight(index, entry);
        // Resting on a sub-menu entry opens it.
        if (entry >= 0 && level.menu->GetEntry(entry).kind == XMenu::Kind::kSubMenu)
            OpenSubMenu(index);
    }

    void Highlight(int index, int entry)
    {
        Level& level = *m_levels[index];
        bool sameSubMenuOpen = entry >= 0 && level.highlight == entry &&
                               static_cast<int>(m_levels.size()) > index + 1;
        if (!sameSubMenuOpen)
            CloseLevelsAbove(index);
        if (level.highlight != entry) {
            level.highlight = entry;
            Draw(level);
        }
    }

    void OpenSubMenu(int index)
    {
        if (static_cast<int>(m_levels.size()) > index + 1)
            return;
        Level& level = *m_levels[index];
        const XMenu::Entry& entry = level.menu->GetEntry(level.highlight);
        if (!entry.subMenu || entry.subMenu->CountEntries() == 0)
            return;
        OpenLevel(entry.subMenu, level.x + level.w - 2,
                  level.y + std::max(EntryTop(level, level.highlight), level.ListTop()) - kBorder, level.x);
    }

    void Activate(int index)
    {
        Level& level = *m_levels[index];
        if (level.highlight < 0)
            return;
        const XMenu::Entry& entry = level.menu->GetEntry(level.highlight);
        if (entry.kind == XMenu::Kind::kSubMenu) {
            OpenSubMenu(index);
            return;
        }
        if (entry.kind != XMenu::Kind::kItem)
            return;
        m_command = entry.command;
        Close();
    }

    void Key(int code)
    {
        int index = static_cast<int>(m_levels.size()) - 1;
        Level& level = *m_levels[index];
        int count = level.menu->CountEntries();
        switch (code) {
        case xconst::kKeyEscape:
        case xconst::kKeyLeft:
            if (index == 0) {
                if (code == xconst::kKeyEscape)
                    Close();
                return;
            }
            CloseLevelsAbove(index - 1);
            return;
        case xconst::kKeyUp:
        case xconst::kKeyDown: {
            int step = code == xconst::kKeyDown ? 1 : -1;
            int n = level.highlight;
            for (int tries = 0; tries < count; ++tries) {
                n = n < 0 ? (step > 0 ? 0 : count - 1) : (n + step + count) % count;
                if (level.menu->GetEntry(n).kind != XMenu::Kind::kSeparator)
                    break;
            }
            if (n >= 0 && n < count && level.menu->GetEntry(n).kind != XMenu::Kind::kSeparator) {
                // The chosen entry is always one the user can see.
                level.highlight = n;
                EnsureVisible(level, n);
                Draw(level);
            }
            return;
        }
        case xconst::kKeyRight:
            if (level.highlight >= 0 && level.menu->GetEntry(level.highlight).kind == XMenu::Kind::kSubMenu)
                OpenSubMenu(index);
            return;
        case xconst::kKeyReturn:
            Activate(index);
            return;
        default:
            return;
        }
    }

    void Draw(Level& level)
    {
        XGraphic& g = level.graphic;
        g.BeginPaint(level.window.get(), level.w, level.h);
        g.FillRectangleColour(XRectangle(0, 0, level.w, level.h), kFace);
        g.SetPen(kFrame);
        g.DrawFrame(0, 0, level.w, level.h);
        g.SetFontPreset(fourcc("xfdf"));
        int listTop = level.ListTop(), listBottom = level.ListBottom();
        bool clipped = level.scrolls && g.PushClip(XRectangle(0, listTop, level.w, listBottom - listTop));
        int y = listTop - level.scroll;
        for (int i = 0; i < level.menu->CountEntries(); ++i) {
            const XMenu::Entry& entry = level.menu->GetEntry(i);
            int h = EntryHeight(entry);
            if (y + h <= listTop || y >= listBottom) {
                y += h;
                continue;
            }
            if (entry.kind == XMenu::Kind::kSeparator) {
                g.SetPen(kSeparator);
                g.DrawLine(kBorder + 2, y + h / 2, level.w - kBorder - 3, y + h / 2);
                y += h;
                continue;
            }
            bool lit = i == level.highlight;
            if (lit)
                g.FillRectangleColour(XRectangle(kBorder, y, level.w - 2 * kBorder, h), kHighlight);
            g.SetTextColour(lit ? kHighlightText : kText);
            g.DrawString(entry.text.GetText(), kTextLeft, y + 3);
            if (entry.kind == XMenu::Kind::kSubMenu) {
                g.SetPen(lit ? kHighlightText : kText);
                g.DrawArrow(level.w - 12, y + h / 2 - 3, 3);
            }
            y += h;
        }
        if (clipped)
            g.PopClip();
        if (level.scrolls) {
            // The arrows are dimmed at the end the list cannot move further.
            g.SetPen(level.scroll > 0 ? kText : kSeparator);
            g.DrawArrow(level.w / 2, kBorder + kScrollBand / 2 + 1, 0);
            g.SetPen(level.scroll < level.MaxScroll() ? kText : kSeparator);
            g.DrawArrow(level.w / 2, level.h - kBorder - kScrollBand / 2 - 2, 6);
        }
        g.Blit();
    }

    XMenu* m_top;
    XBackend* m_backend;
    std::vector<std::unique_ptr<Level>> m_levels;
    bool m_grabbed = false;
    bool m_pressed = false;
    bool m_moved = false;
    uint32_t m_command = 0;
    int m_scrollLevel = -1;  // level scrolled while the pointer rests on one of its bands
    int m_scrollStep = 0;
};

XMenu::~XMenu() = default;

void XMenu::AddItem(const char* text, int value)
{
    int k = ++m_itemCounter;
    if (static_cast<int>(m_values.size()) < k) {
        size_t grown = ((static_cast<size_t>(k) + kValueTableStep - 1) / kValueTableStep) * kValueTableStep;
        m_values.resize(grown, kNoValue);
    }
    m_values[k - 1] = value;
    m_entries.push_back(Entry{Kind::kItem, kiv::string(text ? text : ""),
                              (static_cast<uint32_t>(m_menuId) << 16) + static_cast<uint32_t>(k), nullptr});
}

void XMenu::AddSeparator() { m_entries.push_back(Entry{Kind::kSeparator, kiv::string(""), 0, nullptr}); }

XMenu* XMenu::AddSubMenu(const char* text)
{
    auto sub = std::make_unique<XMenu>();
    // Ids are counted over the whole menu tree so that a sub-menu's own
    // sub-menus never repeat an id of the top menu's.
    XMenu* top = this;
    while (top->m_parent)
        top = top->m_parent;
    sub->m_menuId = ++top->m_subMenuCounter;
    sub->m_parent = this;
    XMenu* raw = sub.get();
    m_subMenus.push_back(std::move(sub));
    m_entries.push_back(Entry{Kind::kSubMenu, kiv::string(text ? text : ""), 0, raw});
    return raw;
}

XMenu* XMenu::FindMenu(int id)
{
    if (id == m_menuId)
        return this;
    for (auto& sub : m_subMenus) {
        if (XMenu* found = sub->FindMenu(id))
            return found;
    }
    return nullptr;
}

bool XMenu::DecodeCommand(uint32_t command)
{
    int id = static_cast<int>(command >> 16);
    int index = static_cast<int>(command & 0xFFFF) - 1;
    XMenu* holder = FindMenu(id);
    if (!holder || index < 0 || index >= holder->m_itemCounter)
        return false;
    m_chosenMenu = id;
    int value = holder->m_values[index];
    m_chosenValue = value == kNoValue ? index : value;
    return true;
}

bool XMenu::Track(int screenX, int screenY)
{
    m_chosenMenu = 0;
    m_chosenValue = 0;
    if (m_entries.empty())
        return false;
    XBackend* backend = XBackend::Get();
    if (!backend)
        return false;
    uint32_t command = 0;
    {
        XMenuPopup popup(this, backend);
        if (!popup.Open(screenX, screenY))
            return false;
        while (popup.IsOpen())
            backend->Pump(kPumpMs);
        command = popup.GetCommand();
    }
    return command != 0 && DecodeCommand(command);
}
