// Sizes, colours and codes of the hosted plug-ins' views: the popup window
// around a plug-in's own editor and the generic parameter view.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"

namespace plugview {

// The popup window around a plug-in's own editor.
constexpr const char* kPluginWindowClass = "KivPluginWindow";
constexpr int kFirstWindowX = 600;          // screen position of the first opening
constexpr int kFirstWindowY = 60;
// A plug-in that gives no rectangle before its editor is open gets a window
// of this size, resized to the rectangle it gives once open.
constexpr int kDefaultEditorWidth = 400;
constexpr int kDefaultEditorHeight = 300;
constexpr int kMaxEditorSize = 8192;        // pixels, either side
constexpr int kEditorIdleMs = 50;           // effEditIdle period while open

// The generic parameter view.
constexpr int kGenericWidth = 600;          // before the rows are laid out
constexpr int kGenericHeight = 80;
constexpr int kGenericBuiltWidth = 480;
constexpr int kGenericMargin = 5;           // around the rows, pixels
constexpr int kRowPitch = 18;               // pixels from one row to the next
constexpr int kRowHeight = 16;
constexpr int kNameWidth = 160;
constexpr int kFaderLeft = 165;
constexpr int kFaderRightGap = 92;          // from the row's right edge
constexpr int kValueWidth = 88;
constexpr int kValueRightGap = 90;
// Rows a generic view shows at most: a window stays within X11's 32767
// pixels however many parameters a plug-in claims.
constexpr int kMaxGenericParams = 1024;
constexpr int kParamGroupNone = -1;

constexpr uint32_t kCodeSetValue = fourcc("setv");

}  // namespace plugview
