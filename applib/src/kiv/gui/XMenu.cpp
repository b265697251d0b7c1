#include "kiv/gui/XMenu.h"

#include <algorithm>
#include <utility>

#include "kiv/gui/XBackend.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XPopup.h"
#include "kiv/gui/XView.h"

namespace {

constexpr const char* kMenuClass = "KivMenu";
constexpr int kItemHeight = 20;       // px
constexpr int kSeparatorHeight = 7;   // px
constexpr int kTextLeft = 10;         // px
constexpr int kRightMargin = 28;      // px, room for a sub-menu arrow
constexpr int kMinWidth = 80;         // px
constexpr int kBorder = 1;            // px
constexpr int kGrabRetryMs = 10;      // a refused grab is tried again this often
constexpr int kGrabAttempts = 20;     // ... this many times before the menu gives up
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

// One shown menu: a window per open level (the top menu and the chain of
// open sub-menus). The top window holds the grab, so every input arrives
// there; points are turned into screen points and matched against the
// levels. Once the user chose or dismissed, the windows close and the
// outcome waits here for XMenu::Deliver, which runs outside this object's
// own input handling.
class XMenuPopup : public XNativeSink {
public:
    enum class Outcome { kShown, kChosen, kDismissed, kPressedOutside };

    XMenuPopup(std::unique_ptr<XMenu> menu, XControl* waiter, XMenu::Answer answer, XBackend* backend)
        : m_top(std::move(menu)), m_waiter(waiter), m_answer(std::move(answer)), m_backend(backend)
    {
    }
    ~XMenuPopup() override { CloseWindows(); }

    bool Open(int x, int y)
    {
        if (!OpenLevel(m_top.get(), x, y, x))
            return false;
        TryGrab();
        return IsShown();
    }
    bool IsShown() const { return !m_levels.empty(); }
    XControl* GetWaiter() const { return m_waiter; }

    void OnKey(int code)
    {
        if (IsShown())
            Key(code);
    }

    // Gives the outcome to the waiter: the chosen item to its answer, a left
    // press outside to its view, where it may complete a double click. Either
    // may delete the waiter; nothing of it is used afterwards.
    void Answer()
    {
        if (m_outcome == Outcome::kChosen) {
            XMenu::Answer answer = std::move(m_answer);
            if (answer && m_top->DecodeCommand(m_command))
                answer(m_top->GetChosenMenu(), m_top->GetChosenValue());
            return;
        }
        if (m_outcome != Outcome::kPressedOutside)
            return;
        auto* view = dynamic_cast<XView*>(m_waiter->GetRoot());
        if (!view)
            return;
        // A root view's position is its place on the screen.
        const int x = m_pressX - view->GetX(), y = m_pressY - view->GetY();
        if (view->TakeLeftPress(x, y, m_pressTime))
            view->HandleDoubleClick(x, y);
    }

    void OnNativeMessage(XNativeWindow* from, const XNativeMessage& message) override
    {
        if (m_levels.empty())
            return;
        if (message.kind == XNativeMessage::kTimer) {
            if (!m_grabbed) {
                TryGrab();
                return;
            }
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
                // A press outside every level dismisses the menu; a left one
                // is kept for the waiter's view.
                if (message.kind == XNativeMessage::kLButtonDown) {
                    m_pressX = sx;
                    m_pressY = sy;
                    m_pressTime = m_backend->NowMs();
                    Finish(Outcome::kPressedOutside);
                } else {
                    Finish(Outcome::kDismissed);
                }
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
            Finish(Outcome::kDismissed);
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
        std::vector<bool> opensLeft;  // per entry: its sub-menu has no room on the right
        int ListTop() const { return kBorder + (scrolls ? kScrollBand : 0); }
        int ListBottom() const { return h - kBorder - (scrolls ? kScrollBand : 0); }
        int MaxScroll() const { return std::max(0, contentH - (ListBottom() - ListTop())); }
    };

    static int EntryHeight(const XMenu::Entry& entry)
    {
        return entry.kind == XMenu::Kind::kSeparator ? kSeparatorHeight : kItemHeight;
    }

    // The width a menu's entries ask for.
    static int MenuWidth(const XMenu* menu, XGraphic& g)
    {
        int w = kMinWidth;
        for (int i = 0; i < menu->CountEntries(); ++i) {
            const XMenu::Entry& entry = menu->GetEntry(i);
            if (entry.kind != XMenu::Kind::kSeparator)
                w = std::max(w, g.GetTextSize(entry.text.GetText()).width + kTextLeft + kRightMargin);
        }
        return w;
    }

    // Whether a sub-menu w wide, opened beside a level at (x, levelW), goes
    // to the left for want of room on the right.
    static bool OpensLeft(int x, int levelW, int w, int areaX, int areaW)
    {
        return areaW > 0 && x + levelW - 2 + std::min(w, areaW) > areaX + areaW;
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
        int w = MenuWidth(menu, g), contentH = 0;
        for (int i = 0; i < menu->CountEntries(); ++i)
            contentH += EntryHeight(menu->GetEntry(i));
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
        // Each sub-menu entry's arrow points the way its sub-menu will open.
        level->opensLeft.assign(static_cast<size_t>(menu->CountEntries()), false);
        for (int i = 0; i < menu->CountEntries(); ++i) {
            const XMenu::Entry& entry = menu->GetEntry(i);
            if (entry.kind == XMenu::Kind::kSubMenu && entry.subMenu)
                level->opensLeft[static_cast<size_t>(i)] = OpensLeft(x, w, MenuWidth(entry.subMenu, g), areaX, areaW);
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

    void CloseWindows()
    {
        m_scrollLevel = -1;
        m_scrollStep = 0;
        m_backend->KillTimer(this);
        if (m_grabbed && !m_levels.empty())
            xpopup::Release(m_backend, m_levels[0]->window.get());
        m_grabbed = false;
        // Sub-menus first, the grabbing top window last.
        while (!m_levels.empty())
            m_levels.pop_back();
    }

    void Finish(Outcome outcome)
    {
        if (m_outcome == Outcome::kShown)
            m_outcome = outcome;
        CloseWindows();
    }

    // The grab is taken without waiting: a refused one (another program
    // holds the pointer for a moment) is tried again on the timer while the
    // menu shows, and the menu gives up after a while.
    void TryGrab()
    {
        if (m_grabbed || m_levels.empty())
            return;
        if (xpopup::Grab(m_backend, m_levels[0]->window.get())) {
            m_grabbed = true;
            UpdateTimer();
            return;
        }
        if (++m_grabTries >= kGrabAttempts) {
            Finish(Outcome::kDismissed);
            return;
        }
        UpdateTimer();
    }

    // One timer serves both the grab's retries and the scrolling.
    void UpdateTimer()
    {
        if (!m_grabbed)
            m_backend->SetTimer(this, kGrabRetryMs);
        else if (m_scrollLevel >= 0)
            m_backend->SetTimer(this, kScrollMs);
        else
            m_backend->KillTimer(this);
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
        UpdateTimer();
    }

    void StopScrolling()
    {
        if (m_scrollLevel < 0)
            return;
        m_scrollLevel = -1;
        m_scrollStep = 0;
        UpdateTimer();
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
        Finish(Outcome::kChosen);
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
                    Finish(Outcome::kDismissed);
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
                if (level.opensLeft[static_cast<size_t>(i)])
                    g.DrawArrow(level.w - 9, y + h / 2 - 3, 9);
                else
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

    std::unique_ptr<XMenu> m_top;
    XControl* m_waiter;
    XMenu::Answer m_answer;
    XBackend* m_backend;
    std::vector<std::unique_ptr<Level>> m_levels;
    Outcome m_outcome = Outcome::kShown;
    int m_pressX = 0, m_pressY = 0;  // the left press outside, on the screen
    uint32_t m_pressTime = 0;
    bool m_grabbed = false;
    int m_grabTries = 0;
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

XMenuPopup* XMenu::s_open = nullptr;

bool XMenu::Open(std::unique_ptr<XMenu> menu, XControl* waiter, int screenX, int screenY, Answer answer)
{
    if (!menu || menu->m_entries.empty() || !waiter)
        return false;
    XBackend* backend = XBackend::Get();
    if (!backend)
        return false;
    // One menu at a time: the grab is the process's.
    delete std::exchange(s_open, nullptr);
    auto popup = std::make_unique<XMenuPopup>(std::move(menu), waiter, std::move(answer), backend);
    if (!popup->Open(screenX, screenY))
        return false;
    s_open = popup.release();
    return true;
}

bool XMenu::IsAnyOpen() { return s_open && s_open->IsShown(); }

bool XMenu::HandleKey(int code)
{
    if (!IsAnyOpen())
        return false;
    s_open->OnKey(code);
    return true;
}

void XMenu::Dismiss()
{
    if (IsAnyOpen())
        delete std::exchange(s_open, nullptr);
}

void XMenu::CloseWithin(XControl* root)
{
    if (s_open && root && s_open->GetWaiter()->GetRoot() == root)
        delete std::exchange(s_open, nullptr);
}

void XMenu::ForgetWaiter(XControl* control)
{
    if (s_open && s_open->GetWaiter() == control)
        delete std::exchange(s_open, nullptr);
}

void XMenu::Deliver()
{
    if (!s_open || s_open->IsShown())
        return;
    // Taken first: the answer may open another menu or delete the waiter.
    std::unique_ptr<XMenuPopup> done(std::exchange(s_open, nullptr));
    done->Answer();
}
