// Constants of the part unit, its rack and the stacked-instrument view:
// notification codes, geometry and colours shared by their sources.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"
#include "kiv/gui/XColour.h"

namespace partunit {

// Notification codes the unit and the stacked view send upwards.
constexpr int kCodeSelect = static_cast<int>(fourcc("OvVs"));  // the unit asks to be selected
constexpr int kCodeKeys = static_cast<int>(fourcc("keyb"));    // key ranges or switches changed
constexpr int kCodeMute = static_cast<int>(fourcc("mute"));
constexpr int kCodeSolo = static_cast<int>(fourcc("solo"));
constexpr int kCodeSize = static_cast<int>(fourcc("size"));    // the unit changed its height
constexpr int kCodeLoad = static_cast<int>(fourcc("Load"));    // a layer's instrument changed

// Drag kinds a unit takes, and the tree item types among 'tree' drags.
constexpr uint32_t kDragTree = fourcc("tree");
constexpr uint32_t kDragInst = fourcc("inst");
constexpr uint32_t kDragBase = fourcc("base");
constexpr int kTreeTypeBank = 3;
constexpr int kTreeTypePreset = 4;

// Selection state bits.
constexpr int kSelected = 1;
constexpr int kDragHover = 2;

// Geometry.
constexpr int kTopHeight = 25;
constexpr int kTopWidth = 833;
constexpr int kBottomHeight = 70;
constexpr int kUnitX = 14;           // the unit inside its rack slot
constexpr int kRackSlotPitch = 26;
constexpr int kRackHeight = 420;
constexpr int kStackRowPitch = 22;
constexpr int kStackRowHeight = 18;
constexpr int kStackHeader = 24;
constexpr int kStackFirstRow = 25;
constexpr int kMaxUnits = 16;

// Knobs of the plain bottom panel.
enum Knob {
    kKnobKeyOffset = 0,
    kKnobBend,
    kKnobVelocity,
    kKnobAttack,
    kKnobDecay,
    kKnobSustain,
    kKnobRelease,
    kKnobCutoff,
    kKnobFilterVelocity,
    kKnobFilterAttack,
    kKnobFilterRelease,
    kKnobCount
};

// The filter toggle switched on with the cutoff below this sets the cutoff
// to kFilterOnCutoff, so the filter is heard.
constexpr double kFilterLowCutoff = 0.02;
constexpr double kFilterOnCutoff = 0.05;

// Tuning ranges by mode.
constexpr int kFineRange = 99;
constexpr int kCoarseRange = 24;

// Fader defaults.
constexpr int kDefaultVolume = 90;
constexpr int kDefaultPan = 64;

// Colours.
constexpr XColourValue kTextNone = XColour::Make(40, 140, 80);
constexpr XColourValue kTextLoaded = XColour::Make(0, 203, 31);
constexpr XColourValue kTextNoProgram = XColour::Make(25, 160, 160);
constexpr XColourValue kStatToLoad = XColour::Make(160, 160, 160);
constexpr XColourValue kStatReading = XColour::Make(250, 250, 200);
constexpr XColourValue kStatSamples = XColour::Make(250, 250, 250);
constexpr XColourValue kStatOther = XColour::Make(255, 220, 160);
constexpr XColourValue kStatFailed = XColour::Make(255, 100, 100);
constexpr XColourValue kTextPartial = XColour::Make(255, 170, 60);  // loaded, some samples silent
constexpr XColourValue kUnitNormal = XColour::Make(90, 100, 120);
constexpr XColourValue kUnitSelected = XColour::Make(80, 160, 255);
constexpr XColourValue kUnitDragHover = XColour::Make(210, 160, 80);

// Key-switch and controller stack modes.
constexpr int kModeAll = 0;
constexpr int kModeVelocity = 130;
constexpr int kModeKeySwitch = 133;
constexpr int kModeRoundRobin = 134;
constexpr int kModeRandom = 135;
constexpr int kModeProgram = 199;

}  // namespace partunit
