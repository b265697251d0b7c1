// The editor of the test effects that have one: a plain Xlib window of the
// effect's own inside the host's window, on a connection of its own, as real
// Linux plug-ins do it. Driven from the effect's dispatcher.
#pragma once
#include "tests/vst/plugins/TestEffect.h"

namespace testeditor {

// effEditGetRect: the rectangle when the variant gives one (else null, 0).
vst::intptr GetRect(void* ptr);
vst::intptr Open(void* parent);
void Close();
// Takes the editor's X events: a press reports an edit of the gain.
void Idle();

}  // namespace testeditor
