// Zelkenc.ax: the classes the module serves (the filter and its property page), and the
// filter's registration among the video compressors, kept out of automatic graph building
// (applications pick a compressor themselves).
#include <windows.h>
#include <dshow.h>

#include "codec/zlkc_media_type.h"
#include "dshow/class_factory.h"
#include "dshow/transform_module_registration.h"
#include "encoder/zelkenc_filter.h"
#include "encoder/zelkenc_ids.h"
#include "encoder/zelkenc_property_page.h"

namespace {

constexpr wchar_t kFilterName[] = L"Zelkenc";

const CFactoryTemplate kTemplates[] = {
    {kFilterName, &CLSID_Zelkenc, &ZelkencFilter::create},
    {L"ZelkencProp", &CLSID_ZelkencProp, &ZelkencPropertyPage::create},
};

const TransformModuleEntry kEntry = {&CLSID_Zelkenc,
                                     kFilterName,
                                     &CLSID_VideoCompressorCategory,
                                     MERIT_DO_NOT_USE,
                                     {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32},
                                     {&MEDIATYPE_Video, &MEDIASUBTYPE_ZLKC}};

}  // namespace

std::span<const CFactoryTemplate> moduleFactoryTemplates() { return kTemplates; }

extern "C" {

HRESULT STDAPICALLTYPE DllRegisterServer() { return RegisterTransformModule(kEntry); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return UnregisterTransformModule(kEntry); }

}  // extern "C"
