// The names of the twelve notes of an octave, from C, as every key and range
// caption shows them.
#pragma once

namespace kiv {

inline constexpr const char* kNoteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

}  // namespace kiv
