// Constants of the toolkit's buttons, labels, selectors and value controls:
// notification codes, table and text sizes, and the geometry the controls
// draw with.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"

namespace xwidget {

// Notification codes sent through XControl::Notify.
constexpr int kCodeMouseDown = static_cast<int>(fourcc("MoDo"));  // toggle-mode button pressed
constexpr int kCodeMouseUp = static_cast<int>(fourcc("MoUp"));    // push button released inside
constexpr int kCodeClick = static_cast<int>(fourcc("clic"));      // link pressed
constexpr int kCodeSlide = static_cast<int>(fourcc("slid"));      // slider value changed

// Alignment of label text.
constexpr int kAlignLeft = -1;
constexpr int kAlignCentre = 0;
constexpr int kAlignRight = 1;

constexpr int kMaxTabs = 128;           // entries of an XTabs table
constexpr int kTabPadding = 13;         // pixels added to a tab's text width
constexpr int kTabScrollHeight = 4;     // rows of the tab row's scroll strip
constexpr int kValueTextSize = 32;      // XValue format and shown text, with the terminator
constexpr int kFaderTextSize = 16;      // XFaderValue format and text, with the terminator
constexpr int kFaderHandleLength = 12;  // pixels, without a handle picture
constexpr int kKnobDragPixels = 150;    // vertical pixels for a knob's full range
constexpr float kKnobSweep = 4.71238898f;        // 270 degrees
constexpr double kKnobStartAngle = 0.785398163375;  // the value 0 points down-left
constexpr int kMeterSegmentPitch = 3;   // pixels per meter segment (2 lit, 1 gap)

}  // namespace xwidget
