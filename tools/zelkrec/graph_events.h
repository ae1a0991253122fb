// Reads what a running graph reported: the first error among its events (aborts, stopped
// streams, a lost device) and whether the stream came to its end. Both of the recorder's
// graphs poll it from the command's thread.
#pragma once

#include <windows.h>
#include <dshow.h>

// Takes every waiting event; answers the first error, S_OK for none, and sets `*ended` on
// EC_COMPLETE or EC_USERABORT.
HRESULT drainGraphEvents(IGraphBuilder* graph, bool* ended);
