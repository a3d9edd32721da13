#pragma once

#include <cstdio>

struct FlashOptions;

// veltrax-flash in its parent role: the ports planned, the firmware chosen
// and checked once, the question asked once, one update child per port, the
// progress shown, the transcripts and JSON lines written. Returns the exit
// status: the highest of the instruments' codes.
int runFlash(const FlashOptions &options);
