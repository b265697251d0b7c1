#include "kiv/gui/XEdit.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "kiv/gui/NoteNames.h"
#include "kiv/gui/XBackend.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"

using namespace xconst;

namespace {
constexpr int kTextX = 2;       // where the text starts
constexpr int kMaxLength = kEditTextSize - 1;
}  // namespace

XEdit::XEdit(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(255, 255, 250));
    SetColour(1, XColour::Make(120, 120, 255));
    SetColour(2, XColour::Make(0, 0, 0));
    SetColour(3, XColour::Make(60, 60, 60));
}

XEdit::~XEdit() = default;

bool XEdit::Accepts(int filter, int c)
{
    if (c < 32 || c >= 127)
        return false;
    if (filter == 0)
        return true;
    if ((filter & kLetters) && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
        return true;
    if ((filter & kDigits) && c >= '0' && c <= '9')
        return true;
    if ((filter & kSigns) && (c == '+' || c == '-'))
        return true;
    if ((filter & kDot) && c == '.')
        return true;
    if ((filter & kHash) && c == '#')
        return true;
    if ((filter & kPathMarks) && (c == '\\' || c == ':'))
        return true;
    return false;
}

int XEdit::ParseInt(const char* text)
{
    if (!text)
        return 0;
    bool negative = *text == '-';
    if (negative)
        ++text;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT_MAX) {
            value = static_cast<long long>(INT_MAX) + (negative ? 1 : 0);
            break;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

void XEdit::ResetBlink()
{
    m_caretVisible = 1;
    m_blink = kEditBlinkHold;
}

void XEdit::OnBlinkTick()
{
    if (!m_editing)
        return;
    if (--m_blink > 0)
        return;
    m_blink = kEditBlinkPeriod;
    m_caretVisible = !m_caretVisible;
    Invalidate();
}

void XEdit::BeginEdit()
{
    if (m_editing)
        return;
    ResetBlink();
    m_editing = 1;
    Invalidate();
}

bool XEdit::EndEdit(bool commit)
{
    if (!m_editing)
        return false;
    FinishEdit(commit);
    return true;
}

void XEdit::FinishEdit(bool commit)
{
    m_editing = 0;
    m_anchorStart = m_anchorNow = -1;
    Invalidate();
    if (m_filter == 0)
        Notify(0, commit ? 1 : 0);
    else if (m_filter == kNumeric && commit)
        Notify(0, ParseInt(m_text));
}

void XEdit::OnFocusLost()
{
    if (m_editing)
        FinishEdit(m_commitOnLeave != 0);
}

void XEdit::SetValue(int n)
{
    if (m_filter == kNoteName) {
        // Floor division: notes below 0 still name a note and an octave.
        // 64-bit, so the most negative int cannot overflow.
        const long long v = n;
        const long long octave = v >= 0 ? v / 12 : -((11 - v) / 12);
        const int note = static_cast<int>(v - octave * 12);
        std::snprintf(m_text, sizeof m_text, "%s%lld", kiv::kNoteNames[note], octave - 2);
    } else {
        std::snprintf(m_text, sizeof m_text, "%d", n);
    }
    m_length = static_cast<int32_t>(std::strlen(m_text));
    m_caret = std::min(m_caret, m_length);
    m_selection = 0;
    Invalidate();
}

void XEdit::SetCaret(int i)
{
    if (i >= 0 && i <= m_length) {
        m_caret = i;
        m_selection = 0;
    }
    ResetBlink();
    Invalidate();
}

void XEdit::DeleteAtCaret(int n)
{
    n = std::clamp(n, 0, m_length - m_caret);
    if (n > 0) {
        std::memmove(m_text + m_caret, m_text + m_caret + n, static_cast<size_t>(m_length - m_caret - n + 1));
        m_length -= n;
    }
    m_selection = 0;
    ResetBlink();
    Invalidate();
}

bool XEdit::InsertChar(int c)
{
    if (m_length >= kMaxLength)
        return false;
    if (m_upperCase && c >= 'a' && c <= 'z')
        c -= 'a' - 'A';
    std::memmove(m_text + m_caret + 1, m_text + m_caret, static_cast<size_t>(m_length - m_caret + 1));
    m_text[m_caret] = static_cast<char>(c);
    ++m_length;
    ++m_caret;
    ResetBlink();
    Invalidate();
    return true;
}

void XEdit::Paste()
{
    XBackend* backend = XBackend::Get();
    std::string text;
    // The block holds the text and its terminator.
    if (!backend || !backend->GetClipboardText(text, kEditPasteLimit - 2))
        return;
    size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos)
        text.resize(end);
    if (m_selection > 0)
        DeleteAtCaret(m_selection);
    // Pasted characters pass the same filter as typed ones, so a numeric
    // field never holds anything but its number.
    for (char ch : text) {
        int c = static_cast<unsigned char>(ch);
        if (Accepts(m_filter, c) && !InsertChar(c))
            break;
    }
    ResetBlink();
    Invalidate();
}

bool XEdit::OnKey(XKeyEvent& key)
{
    if (!m_editing)
        return false;
    switch (key.code) {
    case kKeyLeft:
        SetCaret(m_selection > 0 ? m_caret : m_caret - 1);
        return true;
    case kKeyRight:
        SetCaret(m_selection > 0 ? m_caret + m_selection : m_caret + 1);
        return true;
    case kKeyDelete:
        DeleteAtCaret(m_selection > 0 ? m_selection : 1);
        return true;
    case kKeyBackspace:
        if (m_selection > 0) {
            DeleteAtCaret(m_selection);
        } else if (m_caret > 0) {
            --m_caret;
            DeleteAtCaret(1);
        }
        return true;
    case kKeyReturn:
        FinishEdit(true);
        return true;
    case kKeyEscape:
        FinishEdit(false);
        return true;
    case kKeyPaste:
        Paste();
        return true;
    default:
        break;
    }
    int c = key.character;
    if (!Accepts(m_filter, c))
        return false;
    if (m_selection > 0)
        DeleteAtCaret(m_selection);
    return InsertChar(c);
}

int XEdit::MeasureBoundaries(XGraphic& graphic)
{
    // Boundary i is where character i starts; only the first 256 are kept.
    int count = std::min(m_length, kEditBoundaries - 1) + 1;
    char prefix[kEditBoundaries];
    m_bounds[0] = kTextX;
    for (int i = 1; i < count; ++i) {
        std::memcpy(prefix, m_text, static_cast<size_t>(i));
        prefix[i] = 0;
        m_bounds[i] = kTextX + graphic.GetTextSize(prefix).width;
    }
    m_boundCount = count;
    return count;
}

int XEdit::BoundaryAt(int i) const
{
    if (m_boundCount <= 0)
        return kTextX;
    return m_bounds[std::clamp(i, 0, m_boundCount - 1)];
}

void XEdit::ApplyAnchors()
{
    if (m_anchorStart < 0)
        return;
    if (!m_measure) {
        m_measure = std::make_unique<XGraphic>();
        m_measure->BeginPaint(nullptr, 1, 1);
    }
    m_measure->SetFontPreset(fourcc("xfdf"));
    int count = MeasureBoundaries(*m_measure);
    // Anchors are field positions; the text may be scrolled.
    int lo = std::min(m_anchorStart, m_anchorNow) + m_scroll;
    int hi = std::max(m_anchorStart, m_anchorNow) + m_scroll;
    int caret = 0, end = 0;
    for (int i = 1; i < count; ++i) {
        if (m_bounds[i] < lo)
            caret = i;
        if (m_bounds[i] < hi)
            end = i;
    }
    m_caret = caret;
    m_selection = end - caret;
}

bool XEdit::OnMouseDown(XMouse& mouse)
{
    BeginEdit();
    m_anchorStart = m_anchorNow = mouse.LocalX();
    ApplyAnchors();
    ResetBlink();
    Invalidate();
    return true;
}

void XEdit::OnMouseDrag(XMouse& mouse)
{
    if (m_anchorStart < 0)
        return;
    m_anchorNow = mouse.LocalX();
    ApplyAnchors();
    Invalidate();
}

void XEdit::OnMouseUp(XMouse& mouse)
{
    (void)mouse;
    m_anchorStart = m_anchorNow = -1;
}

void XEdit::Draw(XGraphic& graphic)
{
    XControl::Draw(graphic);
    int w = GetWidth(), h = GetHeight();
    XColourValue face = GetColour(0);
    if (!IsEnabled())
        graphic.FillRectangleColour(XRectangle(0, 0, w, h), XColour::Make(200, 200, 200));
    if (!m_editing) {
        graphic.SetPen(XColour::Scale(face, 0.5f));
        graphic.DrawLine(1, 1, 1, h - 2);
        graphic.DrawLine(1, 1, w - 2, 1);
        graphic.SetPen(XColour::Scale(face, 0.8f));
        graphic.DrawLine(w - 2, 1, w - 2, h - 2);
        graphic.DrawLine(1, h - 2, w - 2, h - 2);
    }
    graphic.SetPen(GetColour(3));
    graphic.DrawFrame(0, 0, w, h);
    graphic.SetFontPreset(fourcc("xfdf"));

    bool hint = !m_editing && m_length == 0;
    const char* shown = hint ? (m_hint.IsEmpty() ? nullptr : m_hint.GetText()) : m_text;
    if (!m_editing) {
        m_scroll = 0;
        if (!shown)
            return;
    } else {
        graphic.SetPen(XColour::Make(255, 120, 120));
        graphic.DrawFrame(0, 0, w, h);
    }
    // Text, caret and selection stay inside the frame.
    bool clipped = graphic.PushClip(XRectangle(1, 1, w - 2, h - 2));
    if (m_editing && m_length == 0) {
        m_scroll = 0;
        if (m_caretVisible) {
            graphic.SetPen(GetColour(2));
            graphic.DrawLine(5, 3, 5, h - 4);
        }
    } else {
        if (!hint) {
            MeasureBoundaries(graphic);
            if (m_editing)
                KeepCaretVisible(graphic);
            if (m_editing && m_selection > 0) {
                int from = TextX(graphic, m_caret) - m_scroll;
                int to = TextX(graphic, m_caret + m_selection) - m_scroll;
                graphic.FillRectangleColour(XRectangle(from, 2, to - from, h - 4), XColour::Make(180, 180, 250));
            } else if (m_editing && m_caretVisible) {
                int x = TextX(graphic, m_caret) + 1 - m_scroll;
                graphic.SetPen(GetColour(2));
                graphic.DrawLine(x, 3, x, h - 4);
            }
        }
        graphic.SetTextColour(hint ? XColour::Scale(face, 0.6f) : GetColour(2));
        graphic.DrawString(shown, kTextX - m_scroll, 2);
    }
    if (clipped)
        graphic.PopClip();
}

int XEdit::TextX(XGraphic& graphic, int i) const
{
    i = std::clamp(i, 0, static_cast<int>(m_length));
    if (i < m_boundCount)
        return m_bounds[i];
    return kTextX + graphic.GetTextSize(std::string(m_text, static_cast<size_t>(i)).c_str()).width;
}

void XEdit::KeepCaretVisible(XGraphic& graphic)
{
    // The caret line is drawn one pixel right of its boundary and must stay
    // left of the frame's inner edge.
    const int right = GetWidth() - 4;
    const int caret = TextX(graphic, m_caret);
    if (caret - m_scroll > right)
        m_scroll = caret - right;
    if (caret - m_scroll < kTextX)
        m_scroll = caret - kTextX;
    // No blank space is scrolled in at the right while text lies left.
    const int end = TextX(graphic, m_length);
    m_scroll = std::clamp(m_scroll, 0, std::max(0, end - right));
}
