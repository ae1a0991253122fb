// The encoder's output pin.
#include "encoder/zelkenc_output_pin.h"

ZelkencOutputPin::ZelkencOutputPin(CTransformFilter* filter, HRESULT* hr)
    : CQueuedOutputPin(QueuedDelivery::Notifications, filter, hr, L"Output") {}

HRESULT ZelkencOutputPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IAMVideoCompression) return transform_->QueryInterface(iid, object);
  return CTransformOutputPin::NonDelegatingQueryInterface(iid, object);
}
