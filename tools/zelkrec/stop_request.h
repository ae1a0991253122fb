// What ends a recording before its length is reached: Ctrl+C or Ctrl+Break, closing the console
// window (also logoff and shutdown), or q typed on the console or arriving on standard input.
// Each sets one event the recorder's loop waits on; the recorder then stops the graph, so the
// mux still writes its index. For a console that closes, the system ends the process once the
// handler returns (after about 5 s at most), so the handler waits until the recorder says the
// file is finished. Process-wide: the console handler has no context of its own.
#pragma once

#include <windows.h>

namespace stop_request {

// Installs the console handler and starts listening for q; false when the events cannot be
// made.
bool install();

// Signalled once a stop was asked for.
HANDLE event();

// Says the file is finished (or was never started): a closing console may end the process.
void finished();

}  // namespace stop_request
