// Graph events to one result.
#include "tools/zelkrec/graph_events.h"

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

HRESULT drainGraphEvents(IGraphBuilder* graph, bool* ended) {
  *ended = false;
  ComPtr<IMediaEvent> events;
  // mingw declares no uuid for IMediaEvent, so ComPtr::As cannot name it.
  HRESULT hr = graph->QueryInterface(IID_IMediaEvent, &events);
  if (FAILED(hr)) return hr;
  long code = 0;
  LONG_PTR first = 0;
  LONG_PTR second = 0;
  HRESULT error = S_OK;
  while (events->GetEvent(&code, &first, &second, 0) == S_OK) {
    switch (code) {
      case EC_ERRORABORT:
      case EC_STREAM_ERROR_STOPPED:
      case EC_ERRORABORTEX:
        if (error == S_OK) error = static_cast<HRESULT>(first);
        break;
      case EC_DEVICE_LOST:
        if (error == S_OK) error = VFW_E_NOT_CONNECTED;
        break;
      case EC_COMPLETE:
      case EC_USERABORT:
        *ended = true;
        break;
    }
    events->FreeEventParams(code, first, second);
  }
  // An error event with a success code still means the stream stopped.
  if (error != S_OK && SUCCEEDED(error)) error = E_FAIL;
  return error;
}
