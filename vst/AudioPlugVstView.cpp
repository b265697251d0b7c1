#include "vst/AudioPlugVstView.h"

#include <cmath>
#include <cstdio>

#include "kiv/gui/X11Backend.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XSlider.h"
#include "kiv/gui/XWindow.h"
#include "vst/VstConstants.h"

namespace {

// Asks the plug-in for a text into a zeroed buffer of kTextBufferBytes;
// plug-ins write past the nominal sizes, so the end is forced to 0.
void AskText(vst::AEffect* effect, vst::int32 opcode, vst::int32 index, char (&text)[plug::kTextBufferBytes])
{
    for (char& c : text)
        c = 0;
    effect->dispatcher(effect, opcode, index, 0, text, 0.0f);
    text[sizeof text - 1] = 0;
}

// A parameter value as the fader can hold it: finite, within 0..1.
float SaneValue(float value)
{
    if (!std::isfinite(value))
        return 0.0f;
    return value < 0.0f ? 0.0f : value > 1.0f ? 1.0f : value;
}

int ClampSize(int size)
{
    return size > plugview::kMaxEditorSize ? plugview::kMaxEditorSize : size;
}

}  // namespace

// ---------------------------------------------------------------- AudioPlugViewWindows

AudioPlugViewWindows::AudioPlugViewWindows(vst::AEffect* effect, AudioPlugRequests* requests)
    : m_effect(effect && effect->dispatcher ? effect : nullptr), m_requests(requests)
{
}

AudioPlugViewWindows::~AudioPlugViewWindows()
{
    Close();
    DestroyWindow();
}

bool AudioPlugViewWindows::AskEditorSize(int& w, int& h)
{
    vst::ERect* rect = nullptr;
    m_effect->dispatcher(m_effect, vst::effEditGetRect, 0, 0, &rect, 0.0f);
    if (!rect)
        return false;
    // Measured from the rectangle's own corner; most plug-ins put it at 0, 0.
    int width = rect->right - rect->left;
    int height = rect->bottom - rect->top;
    if (width <= 0 || height <= 0)
        return false;
    w = ClampSize(width);
    h = ClampSize(height);
    return true;
}

bool AudioPlugViewWindows::MakeWindow(uintptr_t parent)
{
    // Some plug-ins crash when asked for their rectangle without a display:
    // nothing is asked until a window can be made.
    XBackend* backend = XBackend::Get();
    if (!backend)
        return false;
    int w = plugview::kDefaultEditorWidth, h = plugview::kDefaultEditorHeight;
    AskEditorSize(w, h);

    XWindowDesc desc;
    desc.className = plugview::kPluginWindowClass;
    desc.title = GetTitle() ? GetTitle() : "";
    desc.x = m_x;
    desc.y = m_y;
    desc.w = w;
    desc.h = h;
    desc.owner = parent;
    desc.resizable = false;  // held at its size by the window's hints from the start
    m_window = backend->CreateTopLevel(desc);
    if (!m_window)
        return false;
    m_backend = backend;
    m_window->SetSink(this);
    // The client area gets exactly the plug-in's size.
    int borderW = 0, borderH = 0;
    m_window->GetBorderSize(borderW, borderH);
    m_window->MoveResize(m_x, m_y, w + borderW, h + borderH);
    // The plug-in reaches the window through its own connection: the
    // server must know it before the plug-in is given its id.
    if (auto* x11 = dynamic_cast<X11Backend*>(backend))
        x11->Sync();
    return true;
}

void AudioPlugViewWindows::Open(void* parent)
{
    Print("AudioPlugViewWindows::Open()");
    if (!m_effect || m_shown)
        return;
    if (!m_window && !MakeWindow(reinterpret_cast<uintptr_t>(parent)))
        return;
    m_effect->dispatcher(m_effect, vst::effEditOpen, 0, 0, reinterpret_cast<void*>(m_window->GetHandle()), 0.0f);
    m_shown = true;
    // Plug-ins that give their size only once the editor is open: through
    // their rectangle, or by asking for it while opening.
    FollowEditorSize(true);
    m_window->Show();
    m_backend->SetTimer(this, plugview::kEditorIdleMs);
}

void AudioPlugViewWindows::FollowEditorSize(bool askRect)
{
    int w = 0, h = 0;
    bool asked = m_requests && m_requests->TakeSize(w, h);
    if (!asked && !(askRect && AskEditorSize(w, h)))
        return;
    SetClientSize(ClampSize(w), ClampSize(h));
}

void AudioPlugViewWindows::SetClientSize(int w, int h)
{
    int x, y, cw, ch;
    m_window->GetScreenRect(x, y, cw, ch);
    int borderW = 0, borderH = 0;
    m_window->GetBorderSize(borderW, borderH);
    if (cw == w + borderW && ch == h + borderH)
        return;
    // The limits first: a window manager refuses a size outside them.
    m_window->SetSizeLimits(false, w + borderW, h + borderH, w + borderW, h + borderH);
    m_window->Resize(w + borderW, h + borderH);
}

void AudioPlugViewWindows::Close()
{
    if (!m_effect || !m_window || !m_shown)
        return;
    Print("AudioPlugViewWindows::Close()");
    int x, y, w, h;
    m_window->GetScreenRect(x, y, w, h);
    m_x = x;
    m_y = y;
    m_backend->KillTimer(this);
    m_window->Hide();
    m_shown = false;
    m_effect->dispatcher(m_effect, vst::effEditClose, 0, 0, nullptr, 0.0f);
    DestroyWindow();
}

void AudioPlugViewWindows::DestroyWindow()
{
    if (m_backend)
        m_backend->KillTimer(this);
    m_window.reset();
    m_backend = nullptr;
}

void AudioPlugViewWindows::OnNativeMessage(XNativeWindow* from, const XNativeMessage& message)
{
    switch (message.kind) {
    case XNativeMessage::kTimer:
        // Every tick idles the open editor, which also serves a display
        // update the plug-in asked for since the last one.
        if (m_requests)
            m_requests->TakeDisplayUpdate();
        if (!m_shown)
            break;
        m_effect->dispatcher(m_effect, vst::effEditIdle, 0, 0, nullptr, 0.0f);
        // A size asked for since the last tick (often from inside the idle).
        FollowEditorSize(false);
        break;
    case XNativeMessage::kClose:
        if (from && from == m_window.get())
            Close();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- AudioPlugViewParam

AudioPlugViewParam::AudioPlugViewParam(XControl* parent, int x, int y, int w, int h)
    : XControl(parent, x, y, w, h)
{
    // Rows keep their margins when the view changes width.
    SetResizeMode(true, false, true, false);
}

void AudioPlugViewParam::SetUp(AudioPlugParam* param)
{
    using namespace plugview;
    m_param = param;
    if (GetParent())
        SetColour(0, GetParent()->GetColour(0));
    int w = GetWidth(), h = GetHeight();

    m_name = new XLabel(this, 0, 0, kNameWidth, h);
    m_name->SetColour(2, XColour::Make(60, 60, 60));
    m_name->SetText(param->name.CStr());

    m_fader = new XFader(this, kFaderLeft, 0, w - kFaderRightGap - kFaderLeft, h);
    m_fader->SetResizeMode(true, false, true, false);
    m_fader->SetRange(param->min, param->max, 0.0, 0.0);
    // Set before the row listens: building the view changes no parameter.
    m_fader->SetValue(param->value);
    m_fader->SetListener(this);

    m_valueLabel = new XLabel(this, w - kValueRightGap, 0, kValueWidth, h);
    m_valueLabel->SetResizeMode(false, false, true, false);
    m_valueLabel->SetColour(0, XColour::Make(80, 80, 80));
    m_valueLabel->SetColour(3, XColour::Make(0, 0, 0));
    m_valueLabel->SetColour(2, XColour::Make(255, 255, 255));
}

void AudioPlugViewParam::SetValueText(const char* text)
{
    if (m_valueLabel)
        m_valueLabel->SetText(text);
}

int AudioPlugViewParam::Notify(XControl* sender, int, int)
{
    if (m_fader && sender == m_fader)
        NotifyFrom(this, static_cast<int>(plugview::kCodeSetValue), 0);
    return 0;
}

// ---------------------------------------------------------------- AudioPlugViewGeneric

AudioPlugViewGeneric::AudioPlugViewGeneric()
{
    SetSize(plugview::kGenericWidth, plugview::kGenericHeight);
    SetColour(0, XColour::Make(220, 220, 240));
}

AudioPlugViewGeneric::~AudioPlugViewGeneric()
{
    // The rows point at the records: they go first.
    while (XControl* child = GetFirstChild())
        delete child;
    m_rows.clear();
}

void AudioPlugViewGeneric::Build(vst::AEffect* effect)
{
    using namespace plugview;
    Print("AudioPlugViewGeneric::Build()");
    if (!effect || !effect->dispatcher || m_effect)
        return;
    m_effect = effect;
    char text[plug::kTextBufferBytes];
    AskText(effect, vst::effGetProductString, 0, text);
    SetText(text);

    // The count comes from the plug-in: a negative one means none, a huge
    // one is cut to what a window can show.
    int count = effect->numParams;
    if (count < 0)
        count = 0;
    if (count > kMaxGenericParams)
        count = kMaxGenericParams;
    m_params.reserve(count);
    for (int i = 0; i < count; ++i) {
        auto param = std::make_unique<AudioPlugParam>();
        param->index = i;
        AskText(effect, vst::effGetParamName, i, text);
        param->name = text;
        param->value = effect->getParameter ? SaneValue(effect->getParameter(effect, i)) : 0.0f;
        m_params.push_back(std::move(param));
    }

    RequestSize(kGenericBuiltWidth, kRowPitch * count + 2 * kGenericMargin);
    m_rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        auto* row = new AudioPlugViewParam(this, kGenericMargin, kGenericMargin + kRowPitch * i, -kGenericMargin,
                                           kRowHeight);
        row->SetListener(this);
        row->SetUp(m_params[i].get());
        m_rows.push_back(row);
        ShowDisplayText(row);
    }
}

AudioPlugViewParam* AudioPlugViewGeneric::GetRow(int n) const
{
    return n >= 0 && n < static_cast<int>(m_rows.size()) ? m_rows[n] : nullptr;
}

void AudioPlugViewGeneric::ShowDisplayText(AudioPlugViewParam* row)
{
    if (!m_effect || !row->GetParam())
        return;
    char text[plug::kTextBufferBytes];
    AskText(m_effect, vst::effGetParamDisplay, row->GetParam()->index, text);
    row->SetValueText(text);
}

void AudioPlugViewGeneric::Open(void*)
{
    Print("AudioPlugViewGeneric::Open()");
    if (m_shown) {
        Close();
        return;
    }
    if (const char* title = GetTitle())
        SetText(title);
    if (OpenWindow())
        m_shown = true;
}

void AudioPlugViewGeneric::Close()
{
    // At once, not at the window's next tick: a host that closes our editor
    // stops the ticks, and the window would stay on screen, dead.
    if (XWindow* window = GetWindow())
        window->Close(true);
    m_shown = false;
}

void AudioPlugViewGeneric::OnClosing()
{
    m_shown = false;
}

int AudioPlugViewGeneric::Notify(XControl* sender, int code, int)
{
    if (code != static_cast<int>(plugview::kCodeSetValue) || !m_effect)
        return 0;
    // Only our own rows carry a parameter.
    AudioPlugViewParam* row = nullptr;
    for (AudioPlugViewParam* r : m_rows) {
        if (r == sender)
            row = r;
    }
    if (!row)
        return 0;
    AudioPlugParam* param = row->GetParam();
    param->value = static_cast<float>(row->GetFader()->GetValue());
    if (m_effect->setParameter)
        m_effect->setParameter(m_effect, param->index, param->value);
    ShowDisplayText(row);
    return 0;
}
