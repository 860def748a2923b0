// Checkpoints of a search: everything the search needs to go on (generators, the three
// tree copies, the archive with its stored trees, the annealing state, the model's
// parameters), written at the end of a search step every few minutes and when the run is
// interrupted, through a part file that takes the name "checkpoint" when whole. A run
// resumed from it goes on from that step, so its reports are those of the run had it never
// stopped.
#pragma once

#include <string>

inline constexpr const char* kCheckpointName = "checkpoint";

// Turns checkpoints on, every `seconds` of wall time (0: off), for a run whose inputs and
// options `identity` describes; a checkpoint of any other identity is refused on resume.
void start_checkpoints(int seconds, const std::string& identity);
// Called at the end of every search step: writes a checkpoint when one is due, or when the
// run was interrupted (then once).
void checkpoint_if_due();
// Reads the checkpoint of this folder into the search's records, after the run's start-up
// has read the same inputs. False with `why` set when it cannot be used: unreadable,
// damaged, or of another version, input, settings or options.
bool restore_checkpoint(std::string& why);
// Removes the checkpoint once the run is complete.
void remove_checkpoint();
