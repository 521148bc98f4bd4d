// How long a song plays, read from a graph that is rendered on the file and
// never run, so nothing is heard and no device is opened.
#pragma once

#include "platform/win/windef.h"

// Renders `path` (narrow, zero-terminated) in a graph of its own and reads its
// stop position in 100 ns units. Returns 1 and writes *out when it could be
// read; returns 0 and leaves *out as it was otherwise. COM must be
// initialised on the calling thread.
int ProbeStopPosition(const char *path, LONGLONG *out);
