// Constants of the mixer views (GMixer, XTrack and its controls, the effect
// panels and the large mixer window): notification codes, geometry in
// pixels and colours.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"
#include "kiv/gui/XColour.h"

namespace mixer {

// Notification codes a strip sends its view.
constexpr int kCodeExpand = static_cast<int>(fourcc("expt"));  // strip widened or narrowed
constexpr int kCodeMute = static_cast<int>(fourcc("mute"));    // a mute request is pending
constexpr int kCodeSolo = static_cast<int>(fourcc("solo"));    // a solo request is pending

// The editor's mixer view: one strip per mixer channel.
constexpr int kStrips = 16;
constexpr int kStripPitch = 54;      // x of strip i = pitch * i
constexpr int kStripWidth = 53;
constexpr int kStripHeight = 404;
constexpr int kMixerWidth = 863;
constexpr int kMixerHeight = 404;
constexpr int kExpandWidth = 120;    // an expanded strip is this much wider
constexpr int kMoreX = 53;           // the effect panels' place in the strip
constexpr int kMoreWidth = 117;

// The large mixer window: two rows of 32 strips.
constexpr int kBigMixerWidth = 1729;
constexpr int kBigMixerHeight = 850;
constexpr int kRowStrips = 32;
constexpr int kRows = 2;
constexpr int kRowWidth = 1727;
constexpr int kRowHeight = 424;      // the top row; the bottom row starts 1 px below it

// Characters the input display keeps; it shows as many as its width holds.
constexpr int kInputNameChars = 31;
// Plug-in menu values: vendor group * kVendorStride + entry; "No Plugin" is
// kNoPlugin.
constexpr int kNoPlugin = -1;
constexpr int kVendorStride = 4096;

// gvalue modes and the level below which a decibel reading is "-oo".
constexpr int kValueFormat = 0;
constexpr int kValueDecibel = 1;
constexpr int kValuePan = 2;
constexpr double kDecibelFloor = 0.00001;
constexpr double kDecibelShown = -120.0;

// Pan arc: centre (width / 2, 30), radius 26, angles in degrees.
constexpr float kArcCentreY = 30.0f;
constexpr float kArcRadius = 26.0f;
constexpr float kArcLeftDeg = 147.6f;
constexpr float kArcRightDeg = 32.4f;
constexpr int kArcJoinY = 38;         // the active arc is closed through (width / 2, this)
constexpr int kArcBottom = 39;        // below this the pan control is plain
constexpr int kHandleHit = 3;         // pixels around a handle that take a press
constexpr int kHandleSize = 7;        // diameter of a handle
constexpr float kPanDragPixels = 120.0f;  // pointer pixels for one unit of pan

// Colours.
constexpr XColourValue kMixerBack = XColour::Make(20, 20, 30);
constexpr XColourValue kBigMixerBack = XColour::Make(26, 40, 57);
constexpr XColourValue kStripBase = XColour::Make(60, 70, 90);
constexpr XColourValue kChannelText = XColour::Make(140, 200, 240);
constexpr XColourValue kDynColour = XColour::Make(140, 180, 255);
constexpr XColourValue kEQColour = XColour::Make(100, 220, 100);
constexpr XColourValue kFxColour = XColour::Make(240, 160, 80);
constexpr XColourValue kMuteColour = XColour::Make(255, 30, 30);
constexpr XColourValue kSoloColour = XColour::Make(255, 255, 80);
constexpr XColourValue kBoxFrame = XColour::Make(35, 45, 58);
constexpr XColourValue kBoxFace = XColour::Make(45, 55, 68);
constexpr XColourValue kMoreBack = XColour::Make(61, 71, 84);
constexpr XColourValue kPanelBox = XColour::Make(38, 43, 47);
constexpr XColourValue kPanelCaption = XColour::Make(80, 90, 100);
constexpr XColourValue kPanelFrame = XColour::Make(60, 60, 60);
constexpr XColourValue kPanelTitle = XColour::Make(250, 250, 250);
constexpr XColourValue kValueText = XColour::Make(220, 220, 220);
constexpr XColourValue kValueBelow = XColour::Make(255, 183, 5);
constexpr XColourValue kValueAbove = XColour::Make(44, 200, 44);
constexpr XColourValue kNameText = XColour::Make(250, 250, 240);
constexpr XColourValue kNoEffectText = XColour::Make(140, 140, 140);
constexpr XColourValue kFailedText = XColour::Make(255, 120, 100);  // a saved plug-in that did not open
constexpr const char* kFailedPrefix = "Failed: ";  // first, so a long name cannot hide it
constexpr XColourValue kEditMark = XColour::Make(140, 180, 220);
constexpr XColourValue kEditMarkPressed = XColour::Make(255, 120, 120);
constexpr XColourValue kCompCurve = XColour::Make(110, 160, 210);
constexpr XColourValue kEQCurve = XColour::Make(110, 190, 140);
constexpr XColourValue kArcTrack = XColour::Make(30, 35, 45);
constexpr XColourValue kArcActive = XColour::Make(180, 200, 240);
constexpr XColourValue kArcReversed = XColour::Make(250, 160, 60);
constexpr XColourValue kHandleFace = XColour::Make(140, 160, 180);
constexpr XColourValue kHandleDragged = XColour::Make(200, 0, 0);

// Font sizes.
constexpr int kFontSmall = 8;
constexpr int kFontLabel = 9;
constexpr int kFontCaption = 10;

}  // namespace mixer
