// Constants of the GUI toolkit: control flags, key codes, notification
// codes, timing and table sizes.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"

namespace xconst {

// XControl flag bits.
constexpr uint32_t kStretchWidth = 0x001;
constexpr uint32_t kStretchHeight = 0x002;
constexpr uint32_t kFollowH = 0x004;
constexpr uint32_t kFollowV = 0x008;
constexpr uint32_t kVisible = 0x010;
constexpr uint32_t kEnabled = 0x020;
constexpr uint32_t kShown = 0x040;
constexpr uint32_t kNotifies = 0x080;
constexpr uint32_t kDrawn = 0x100;
constexpr uint32_t kFullRedraw = 0x200;
constexpr uint32_t kDeletePending = 0x400;
constexpr uint32_t kDefaultFlags = 0x2F0;

// XKeyEvent key codes (0 = a plain character).
constexpr int kKeyUp = 1;
constexpr int kKeyDown = 2;
constexpr int kKeyLeft = 3;
constexpr int kKeyRight = 4;
constexpr int kKeyDelete = 5;
constexpr int kKeyBackspace = 6;
constexpr int kKeyTab = 7;
constexpr int kKeyReturn = 8;
constexpr int kKeyEscape = 9;
constexpr int kKeyCopy = 10;
constexpr int kKeyPaste = 11;
constexpr int kKeyCut = 12;
// XKeyEvent modifier bits.
constexpr int kModShift = 1;
constexpr int kModControl = 2;
constexpr int kModCommand = 4;

// Notification codes of the toolkit itself.
constexpr uint32_t kCodeWindowClosed = fourcc("wcls");
// Font styles and presets.
constexpr uint32_t kFontBold = fourcc("bold");
constexpr uint32_t kFontFixed = fourcc("fixd");

constexpr int kTickMs = 50;             // the window timer's period
constexpr int kDoubleClickMs = 400;     // two left presses closer than this
constexpr int kHoverHoldTicks = 30;     // ticks before OnHoverHold starts
constexpr int kEventQueueCapacity = 128;
constexpr int kClipStackDepth = 16;
constexpr int kPicTableSize = 64;
constexpr int kWheelDivisor = 6;        // 120 per notch -> 20 pixels
constexpr int kWheelNotch = 120;

// Scroll bars and viewports: the parts of a bar, which are also the codes a
// bar notifies its viewport with.
constexpr uint32_t kScrollNone = fourcc("none");
constexpr uint32_t kScrollThumb = fourcc("curs");
constexpr uint32_t kScrollPagePrev = fourcc("prev");
constexpr uint32_t kScrollPageNext = fourcc("next");
constexpr uint32_t kScrollStepInc = fourcc("sinc");
constexpr uint32_t kScrollStepDec = fourcc("sdec");
constexpr int kScrollBarSize = 17;        // pixels across a bar
constexpr int kScrollStep = 18;           // pixels per step button press
constexpr int kScrollRepeatTicks = 10;    // ticks before a held part repeats
constexpr int kScrollThumbMin = 10;       // shortest thumb, pixels
// Lists and trees: rows of 18 pixels, the first 4 pixels below the top.
constexpr int kRowHeight = 18;
constexpr int kRowTop = 4;
constexpr int kListDragDistance = 3;      // pixels before a press starts a drag
constexpr int kTreeDragDistance = 2;
constexpr int kTreeIndent = 16;           // pixels per tree level
constexpr int kTreePathSize = 512;        // bytes of a tree path and root path
// Edit box.
constexpr int kEditTextSize = 1024;       // bytes of the text, terminator included
constexpr int kEditBoundaries = 256;      // character boundaries measured
constexpr int kEditPasteLimit = 100;      // clipboard blocks this large are ignored
constexpr int kEditBlinkHold = 20;        // ticks the caret stays on after an action
constexpr int kEditBlinkPeriod = 10;      // ticks per caret blink

// The unset marker of XPoint and XSize coordinates.
constexpr int32_t kUnset = 0x7F000000;

}  // namespace xconst
