// Zelkdec.ax: the class the module serves, and its registration among the ordinary filters
// with normal merit, so that graph building inserts it by itself to render a "ZLKC" stream.
#include <windows.h>
#include <dshow.h>

#include "codec/zlkc_media_type.h"
#include "dshow/class_factory.h"
#include "dshow/transform_module_registration.h"
#include "decoder/zelkdec_filter.h"
#include "decoder/zelkdec_ids.h"

namespace {

constexpr wchar_t kFilterName[] = L"Zelkdec";

const CFactoryTemplate kTemplates[] = {
    {kFilterName, &CLSID_Zelkdec, &ZelkdecFilter::create},
};

const TransformModuleEntry kEntry = {&CLSID_Zelkdec,
                                     kFilterName,
                                     &CLSID_LegacyAmFilterCategory,
                                     MERIT_NORMAL,
                                     {&MEDIATYPE_Video, &MEDIASUBTYPE_ZLKC},
                                     {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};

}  // namespace

std::span<const CFactoryTemplate> moduleFactoryTemplates() { return kTemplates; }

extern "C" {

HRESULT STDAPICALLTYPE DllRegisterServer() { return RegisterTransformModule(kEntry); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return UnregisterTransformModule(kEntry); }

}  // extern "C"
