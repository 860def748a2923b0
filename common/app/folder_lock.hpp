// The run's hold on its working folder: one run at a time writes a folder's reports.
#pragma once

// Name of the lock file a run keeps in its folder while it runs.
inline constexpr const char* kLockFileName = "zelvo.lock";

// Takes the folder's lock, or stops the run (status 1) with a message naming the folder
// and the process id of the run that holds it. A lock file left by a run that was killed
// holds no lock any more and is taken over.
void lock_folder();
// Removes the lock file and releases the lock; also done at exit.
void unlock_folder();
