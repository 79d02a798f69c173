// Modules above the album core that hold process-wide resources (the codec
// libraries loaded at run time) register a release routine here; process
// detach runs them before the core's own tables go, so the core never
// depends on those modules.
#pragma once

namespace afm3 {

using DetachRoutine = void (*)();

// Adds routine once; registering the same routine again changes nothing.
// Routines run in the order they were first registered.
void registerDetachRoutine(DetachRoutine routine);

// Runs every registered routine; they stay registered for the next detach.
void runDetachRoutines();

}  // namespace afm3
