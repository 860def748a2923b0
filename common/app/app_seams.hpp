// What each program defines for the start-up of a run: its extra inputs and the set-up of
// its leaves. clockml's definitions live in clock/, freeml's in free/.
#pragma once

// Start-up extras: clockml reads lin_info (when use_lin_info is 1); freeml does nothing.
void program_extra_inputs();
// Leaf set-up before the leaf partials: clockml's leaf rates, freeml's parsimony sets.
void program_leaf_setup();
