#pragma once

// Called before each step of a commit (0: before the journal is written, then one per rename,
// registration and the journal's removal). Does nothing in the component; a test program
// that defines its own links that one instead, to end its process at a chosen step.
void CommitStepReached(unsigned step);
