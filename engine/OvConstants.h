// Sizes, limits, command words and notification codes of the
// format-independent engine layer.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"

// Players and tones.
constexpr int kOvMaxTones = 16;             // tones per player
constexpr int kOvVoicesPerPlayer = 256;     // voices in a player's pool
constexpr int kOvKeyCount = 128;            // MIDI keys 0..127
constexpr int kOvControllerCount = 256;     // 0..127 MIDI, 128..255 pseudo-controllers
constexpr int kOvMaxParameters = 256;       // OvPlugin parameters and parameter sets

// Tone event ring: 1024 entries, at most 1023 waiting.
constexpr int kOvMidiRingSize = 1024;
constexpr int kOvMaxEventsPerBlock = 1024;

// Bus sets.
constexpr int kOvMaxBuses = 128;
constexpr int kOvBusAlignBytes = 32;        // channel buffers: at least 16-byte aligned
constexpr int kOvBusPadFloats = 8;          // floats past the (8-frame rounded) capacity

// Start/stop handshake: each phase polls this many times this far apart.
constexpr int kOvHandshakePolls = 5;
constexpr int kOvHandshakePollMs = 10;
// A render cannot take this long; a stop waits at most this for one to end.
constexpr int kOvRenderWaitMs = 2000;

// Audio byte ring: offline reads wait in steps of 2 ms, for at most 2 s.
constexpr int kOvOfflinePollMs = 2;
constexpr int kOvOfflineWaitMs = 2000;

// Engine-wide output rate before a host sets one (Hz).
constexpr float kOvDefaultSampleRate = 44100.0f;
// Player position counter: 256 ticks per beat at this reference rate.
constexpr double kOvPositionRate = 44100.0;
constexpr double kOvDefaultTempo = 100.0;

// Tone command words ('ovsa' start, 'ovsm' reset the ring, 'ovsv' release
// the voices; 1 while the voices release; 0 none).
constexpr uint32_t kOvCmdNone = 0;
constexpr uint32_t kOvCmdReleasing = 1;
constexpr uint32_t kOvCmdStart = fourcc("ovsa");
constexpr uint32_t kOvCmdResetRing = fourcc("ovsm");
constexpr uint32_t kOvCmdReleaseVoices = fourcc("ovsv");

// Notifications from a tone to its view.
constexpr uint32_t kOvNotifyController = fourcc("ovcc");  // a watched controller changed
constexpr uint32_t kOvNotifyNotesHeld = fourcc("ovma");   // 1 notes held, 0 none
constexpr uint32_t kOvNotifyState = fourcc("stat");       // load state
constexpr uint32_t kOvNotifyProgress = fourcc("load");    // load percent
constexpr uint32_t kOvNotifyKeys = fourcc("keyb");        // key ranges or switches changed

// MIDI event types of OvMidiEvent.
constexpr int kOvEventNoteOn = 0;
constexpr int kOvEventNoteOff = 1;
constexpr int kOvEventPitchBend = 2;
constexpr int kOvEventController = 3;
constexpr int kOvEventProgramChange = 4;
// Ring-internal: one entry standing for note-offs of all 128 keys. It is
// expanded by the reader and never reaches HandleEvents.
constexpr int kOvEventAllNotesOff = 5;
// A layer reorder (data1 from, data2 to) for the tone's own part order,
// queued by the GUI so the audio thread takes it whole, between events.
constexpr int kOvEventMovePart = 6;

// Controllers with a meaning in the base tone.
constexpr int kOvCtrlVolume = 7;
constexpr int kOvCtrlPan = 10;
constexpr int kOvCtrlExpression = 11;
constexpr int kOvCtrlSustain = 64;

// Voice states.
constexpr int kOvVoicePlaying = 0;
constexpr int kOvVoiceSustained = 1;    // key up, held by the pedal
constexpr int kOvVoiceReleased = 2;     // release starts at the next render
constexpr int kOvVoiceFastRelease = 3;
constexpr int kOvVoiceReleasing = 4;
constexpr int kOvVoiceFinished = 5;
