// midi::Input: anything that takes MIDI (the player, the editor's keyboard
// listener, hosted effects). Channels are 0..15; deltaFrames is the frame
// offset of the event within the current block. Called on the host's audio
// thread (host MIDI) and on the GUI thread (the on-screen keyboard). It sits
// with the data types because both the engine and the toolkit's keyboard
// speak it, and neither may see the other.
#pragma once

namespace midi {

class Input {
public:
    virtual ~Input() = default;
    virtual void NoteOn(int channel, int key, int velocity, int deltaFrames) = 0;
    virtual void NoteOff(int channel, int key, int velocity, int deltaFrames) = 0;
    virtual void Controller(int channel, int controller, int value, int deltaFrames) = 0;
    // lsb and msb are the two 7-bit data bytes as they came.
    virtual void PitchBend(int channel, int lsb, int msb, int deltaFrames) = 0;
    virtual void ProgramChange(int channel, int program) = 0;
    // A negative channel means every channel.
    virtual void AllNotesOff(int channel) = 0;
};

}  // namespace midi
