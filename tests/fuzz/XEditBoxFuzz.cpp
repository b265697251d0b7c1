// Feeds random sequences of keys, characters, mouse presses and drags,
// pastes, blink ticks, values, filters and paints to an edit box on the
// headless back end, checking after every step that the caret and the
// selection stay inside the text and the text inside its buffer.
#include <algorithm>
#include <cstring>
#include <string>

#include "fuzz/FuzzSeeds.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XEdit.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"

// fuzz-runs: 20000

namespace {

void Check(const XEdit& edit)
{
    int length = edit.GetLength();
    const char* text = edit.GetText();
    bool ok = length >= 0 && length < xconst::kEditTextSize && edit.GetCaret() >= 0 &&
              edit.GetCaret() <= length && edit.GetSelectionLength() >= 0 &&
              edit.GetCaret() + edit.GetSelectionLength() <= length &&
              (length == 0 ? text == nullptr : std::strlen(text) == static_cast<size_t>(length));
    if (!ok)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    HeadlessBackend backend;
    XBackend::Install(&backend);
    {
        XControl root;
        root.SetSize(220, 40);
        XEdit* edit = new XEdit(&root, 5, 5, 200, 24);
        XGraphic graphic;
        graphic.BeginPaint(nullptr, 220, 40);
        XMouse mouse;
        size_t i = 0;
        auto next = [&]() -> int { return i < size ? data[i++] : 0; };
        while (i < size) {
            XKeyEvent key;
            switch (next() % 10) {
            case 0:
                key.character = next();
                edit->OnKey(key);
                break;
            case 1:
                key.code = next() % 14;
                key.character = next() % 3 == 0 ? next() : 0;
                edit->OnKey(key);
                break;
            case 2:
                mouse.SetPress(next() - 20, 5, 0);
                edit->OnMouseDown(mouse);
                break;
            case 3:
                mouse.SetCurrent((next() << 1) - 200, 5);
                edit->OnMouseDrag(mouse);
                break;
            case 4:
                edit->OnMouseUp(mouse);
                break;
            case 5: {
                size_t n = static_cast<size_t>(next());
                n = std::min(n, size - i);
                backend.SetClipboardText(std::string(reinterpret_cast<const char*>(data + i), n));
                i += n;
                key.code = xconst::kKeyPaste;
                edit->OnKey(key);
                break;
            }
            case 6:
                for (int t = next() % 40; t > 0; --t)
                    edit->OnBlinkTick();
                break;
            case 7:
                edit->SetValue(static_cast<int>(static_cast<uint32_t>(next()) << 24 | next() << 16 | next() << 8 |
                                                static_cast<uint32_t>(next())));
                break;
            case 8:
                edit->SetFilter(next() % 2 == 0 ? next() & 0x7F : XEdit::kNoteName);
                edit->SetUpperCase(next() & 1);
                break;
            default:
                if (next() & 1)
                    edit->OnCaptureLost();
                else
                    edit->BeginEdit();
                edit->Invalidate();
                root.Paint(graphic, false, XRectangle(0, 0, 220, 40));
                break;
            }
            Check(*edit);
        }
        root.Paint(graphic, true, XRectangle(0, 0, 220, 40));
    }
    XBackend::Install(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kivfuzz::SeedCorpus seeds(argc, argv);
    // Click, type "abc", select by dragging, paste two lines, Return.
    static const uint8_t kTyping[] = {2, 30, 0, 'a', 0, 'b', 0, 'c', 3, 200, 4, 5, 6, 'x', 'y', '\n', 'z', 9, 9, 1, 8};
    seeds.Add("typing", kTyping, sizeof kTyping);
    // A note-name field given a negative value, then edited with Delete and Backspace.
    static const uint8_t kNotes[] = {8, 1, 0, 7, 255, 255, 255, 200, 2, 10, 1, 5, 1, 6, 1, 3, 1, 4, 9, 0};
    seeds.Add("notes", kNotes, sizeof kNotes);
    return 0;
}
