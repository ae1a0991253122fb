// The recorder's playback modes. `play` decodes every frame of a recording and writes it as a
// PNG picture into a folder; `verify` decodes a recording the same way and compares each frame
// with the same frame of an uncompressed reference recording. Both print their progress twice
// a second and a one-line summary, and answer the exit code: 0 done (verify: identical), 1
// failed (verify: the files differ).
#pragma once

#include "tools/zelkrec/options.h"

int play(const Options& options);
int verify(const Options& options);
