// The message of the error that ends the run, kept so that the run record can name it: the
// fatal routines keep theirs here, as do the parts of a run that print an error of their own.
#pragma once

// Keeps the first message of a run as one line (line ends become blanks, trailing blanks
// go); later ones are dropped.
void record_error(const char* message);
// The message kept, "" while there is none.
const char* recorded_error();
// Forgets the message (tests).
void clear_recorded_error();
