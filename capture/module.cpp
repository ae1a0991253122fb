// Zelkgrab.ax: the classes the module serves and its registration entry points.
#include "capture/capture_filter.h"
#include "config/filter_property_page.h"
#include "config/module_registration.h"
#include "dshow/class_factory.h"

namespace {

const CFactoryTemplate kTemplates[] = {
    {L"Zelkgrab", &CLSID_Zelkgrab, &CaptureFilter::create},
    {L"Zelkgrab Property", &CLSID_ZelkgrabProp, &FilterPropertyPage::create},
};

}  // namespace

std::span<const CFactoryTemplate> moduleFactoryTemplates() { return kTemplates; }

extern "C" {

HRESULT STDAPICALLTYPE DllRegisterServer() { return registerZelkgrabModule(); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return unregisterZelkgrabModule(); }

}  // extern "C"
