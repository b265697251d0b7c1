// Geometry of the 88-key keyboard, shared by XKeyboard88 and the picture
// generator that draws "keys88.png": 88 keys from an A (A0 when the octave
// shift is 0), the first C at x 30, octaves 105 px wide, white keys 15 x 79
// (49 px beside the black keys plus a 30 px front), black keys 8 x 49.
// Keys are counted by their position on the keyboard, 0 (the lowest A) to 87.
#pragma once

namespace keys88 {

constexpr int kKeyCount = 88;
constexpr int kOctaveWidth = 105;   // px
constexpr int kLeftOffset = 30;     // px, x of the first C
constexpr int kWhiteWidth = 15;     // px
constexpr int kBlackWidth = 8;      // px
constexpr int kBlackHeight = 49;    // px, also the upper part of a white key
constexpr int kFrontHeight = 30;    // px, the white keys' front below the black keys
constexpr int kHeight = kBlackHeight + kFrontHeight;
constexpr int kWidth = 52 * kWhiteWidth;  // 52 white keys
constexpr int kLowestNote = 21;     // A0, with no octave shift
constexpr int kHighestNote = 108;   // C8

// x of each semitone's key within an octave, the left offset included.
constexpr int kShapeX[12] = {30, 40, 45, 57, 60, 75, 85, 90, 101, 105, 117, 120};
constexpr bool kIsBlack[12] = {false, true, false, true, false, false, true, false, true, false, true, false};

// Semitone (0 = C) of the key at position p.
constexpr int Semitone(int p) { return (p + 9) % 12; }
constexpr bool IsBlack(int p) { return kIsBlack[Semitone(p)]; }
// Left edge of the key's shape: its black block, or its white front.
constexpr int KeyX(int p) { return kShapeX[Semitone(p)] + kOctaveWidth * ((p + 9) / 12) - kOctaveWidth; }
constexpr int KeyWidth(int p) { return IsBlack(p) ? kBlackWidth : kWhiteWidth; }

// Columns [left, right) of a key's upper 49 rows: a black key's block, or a
// white key's part between the black keys beside it on the keyboard.
constexpr int UpperLeft(int p)
{
    if (IsBlack(p) || p == 0 || !IsBlack(p - 1))
        return KeyX(p);
    return KeyX(p - 1) + kBlackWidth;
}
constexpr int UpperRight(int p)
{
    if (IsBlack(p) || p == kKeyCount - 1 || !IsBlack(p + 1))
        return KeyX(p) + KeyWidth(p);
    return KeyX(p + 1);
}

static_assert(KeyX(0) == 0 && KeyX(3) == kLeftOffset, "the keyboard starts with A0 and B0 left of the first C");
static_assert(KeyX(kKeyCount - 1) + kWhiteWidth == kWidth, "the last key ends at the picture's right edge");

}  // namespace keys88
