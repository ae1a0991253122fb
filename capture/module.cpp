// Zelkgrab.ax: the classes the module serves.
#include "capture/capture_filter.h"
#include "dshow/class_factory.h"

namespace {

const CFactoryTemplate kTemplates[] = {
    {L"Zelkgrab", &CLSID_Zelkgrab, &CaptureFilter::create},
};

}  // namespace

std::span<const CFactoryTemplate> moduleFactoryTemplates() { return kTemplates; }
