// The XML document over the platform DOM: creation, parsing, text, and values by parameter path.
#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>
#include <wrl/client.h>

#include "common/xml_document.h"

#include <climits>
#include <new>
#include <utility>
#include <vector>

#include "common/parameter_path.h"
#include "common/win_raii.h"

// mingw's headers declare these but no library defines them; selectany lets another module
// of the same link define them too.
extern "C" {
__attribute__((selectany)) extern const CLSID CLSID_DOMDocument30 = {
    0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
__attribute__((selectany)) extern const IID IID_IXMLDOMDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
}

namespace {

using Microsoft::WRL::ComPtr;

// An indexed step far past the existing elements would otherwise append without bound.
constexpr long kMaxAppendedElements = 4096;

class UniqueVariant {
 public:
  UniqueVariant() { ::VariantInit(&variant_); }
  ~UniqueVariant() { ::VariantClear(&variant_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  VARIANT* get() { return &variant_; }
  VARIANT* put() {
    ::VariantClear(&variant_);
    return &variant_;
  }

 private:
  VARIANT variant_;
};

HRESULT makeBstr(const wchar_t* text, size_t length, UniqueBstr* out) {
  if (length > UINT_MAX / sizeof(wchar_t)) return E_OUTOFMEMORY;
  out->reset(::SysAllocStringLen(text, static_cast<UINT>(length)));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT makeBstr(const std::wstring& text, UniqueBstr* out) {
  return makeBstr(text.data(), text.size(), out);
}

std::wstring fromBstr(BSTR text) {
  return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
}

template <class Body>
HRESULT guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT appendElement(IXMLDOMDocument2* document, IXMLDOMNode* parent, BSTR name,
                      ComPtr<IXMLDOMNode>* appended) {
  ComPtr<IXMLDOMElement> element;
  HRESULT hr = document->createElement(name, &element);
  if (FAILED(hr)) return hr;
  if (!element) return E_FAIL;
  ComPtr<IXMLDOMNode> child;
  hr = parent->appendChild(element.Get(), &child);
  if (FAILED(hr)) return hr;
  *appended = child ? child : ComPtr<IXMLDOMNode>(element);
  return S_OK;
}

// One step below `current`: S_OK with the node, S_FALSE when nothing matches and `create` is
// off, or a failure. The names go to the platform as they are, so they are XPath there.
HRESULT findStep(IXMLDOMDocument2* document, IXMLDOMNode* current, const std::wstring& component,
                 bool create, ComPtr<IXMLDOMNode>* found) {
  // An element always has a name, so an empty one is never there and cannot be made.
  if (component.empty()) return S_FALSE;
  const PathStep step = parsePathStep(component);
  if (step.name.empty()) return S_FALSE;
  UniqueBstr name;
  HRESULT hr = makeBstr(step.name, &name);
  if (FAILED(hr)) return hr;

  long existing = 0;
  if (step.indexed) {
    ComPtr<IXMLDOMNodeList> matches;
    hr = current->selectNodes(name.get(), &matches);
    if (hr == E_OUTOFMEMORY) return hr;
    if (SUCCEEDED(hr) && matches && FAILED(matches->get_length(&existing))) existing = 0;
    if (step.index < existing) {
      ComPtr<IXMLDOMNode> node;
      hr = matches->get_item(step.index, &node);
      if (hr == S_OK && node) {
        *found = std::move(node);
        return S_OK;
      }
      return create ? E_FAIL : S_FALSE;
    }
  } else {
    ComPtr<IXMLDOMNode> node;
    hr = current->selectSingleNode(name.get(), &node);
    if (hr == E_OUTOFMEMORY) return hr;
    if (hr == S_OK && node) {
      *found = std::move(node);
      return S_OK;
    }
  }
  if (!create) return S_FALSE;

  // Not indexed: one new element. Indexed: enough that the last one has the index.
  long missing = 1;
  if (step.indexed) {
    if (step.index - existing >= kMaxAppendedElements) return E_FAIL;
    missing = step.index - existing + 1;
  }
  ComPtr<IXMLDOMNode> node;
  for (long i = 0; i < missing; ++i) {
    hr = appendElement(document, current, name.get(), &node);
    if (FAILED(hr)) return hr;
  }
  *found = std::move(node);
  return S_OK;
}

// Walks the first `count` components from the document element (none: the document element
// itself). S_OK with the node reached, S_FALSE when a step finds nothing, or a failure.
HRESULT resolve(IXMLDOMDocument2* document, const std::vector<std::wstring>& components,
                size_t count, bool create, ComPtr<IXMLDOMNode>* reached) {
  ComPtr<IXMLDOMElement> root;
  HRESULT hr = document->get_documentElement(&root);
  if (FAILED(hr)) return hr;
  if (!root) return S_FALSE;
  ComPtr<IXMLDOMNode> current = root;
  for (size_t i = 0; i < count; ++i) {
    ComPtr<IXMLDOMNode> next;
    hr = findStep(document, current.Get(), components[i], create, &next);
    if (hr != S_OK) return hr;
    current = std::move(next);
  }
  *reached = std::move(current);
  return S_OK;
}

// As resolve, and the node reached must be an element (an XPath name may select other nodes).
HRESULT resolveElement(IXMLDOMDocument2* document, const std::vector<std::wstring>& components,
                       size_t count, bool create, ComPtr<IXMLDOMElement>* element) {
  ComPtr<IXMLDOMNode> node;
  HRESULT hr = resolve(document, components, count, create, &node);
  if (hr != S_OK) return hr;
  hr = node->QueryInterface(IID_IXMLDOMElement,
                            reinterpret_cast<void**>(element->ReleaseAndGetAddressOf()));
  if (hr == E_NOINTERFACE) return create ? E_FAIL : S_FALSE;
  return FAILED(hr) ? hr : S_OK;
}

}  // namespace

struct XmlDocument::Dom {
  ComPtr<IXMLDOMDocument2> document;
};

XmlDocument::XmlDocument() = default;
XmlDocument::~XmlDocument() = default;

HRESULT XmlDocument::newDocument() {
  ComPtr<IXMLDOMDocument2> document;
  HRESULT hr =
      ::CoCreateInstance(CLSID_DOMDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                         reinterpret_cast<void**>(document.GetAddressOf()));
  if (FAILED(hr)) return hr;
  if (!document) return E_FAIL;
  hr = document->put_validateOnParse(VARIANT_FALSE);
  if (FAILED(hr)) return hr;
  // Documents may come from a redirect to a file or a URL: they fetch nothing on their own.
  hr = document->put_resolveExternals(VARIANT_FALSE);
  if (FAILED(hr)) return hr;
  // Version 3.0 selects with its older pattern language by default; paths are meant as XPath
  // (the same for plain names), and Wine's pattern parser crashes on some malformed names.
  UniqueBstr property(::SysAllocString(L"SelectionLanguage"));
  UniqueBstr language(::SysAllocString(L"XPath"));
  if (!property || !language) return E_OUTOFMEMORY;
  VARIANT value;
  ::VariantInit(&value);
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = language.get();
  hr = document->setProperty(property.get(), value);
  if (FAILED(hr)) return hr;
  dom_.reset(new (std::nothrow) Dom{std::move(document)});
  return dom_ ? S_OK : E_OUTOFMEMORY;
}

HRESULT XmlDocument::Create(const wchar_t* rootName, const wchar_t* encoding) {
  return guarded([&]() -> HRESULT {
    dom_.reset();
    if (!rootName || !*rootName) return E_INVALIDARG;
    const std::wstring data = std::wstring(L"version='1.0' encoding='") +
                              (encoding && *encoding ? encoding : L"UTF-8") + L"'";
    // The declaration parsed from text, with a stand-in root: Wine's DOM loses memory with
    // every processing instruction it is asked to create (one a save), not with parsed ones.
    // An encoding the parser refuses is declared the other way.
    HRESULT hr = Load((L"<?xml " + data + L"?><_/>").c_str());
    if (hr == E_OUTOFMEMORY) return hr;
    if (FAILED(hr)) {
      hr = newDocument();
      if (FAILED(hr)) return hr;
      UniqueBstr target;
      UniqueBstr declarationData;
      if (FAILED(hr = makeBstr(L"xml", 3, &target)) ||
          FAILED(hr = makeBstr(data, &declarationData))) {
        return hr;
      }
      ComPtr<IXMLDOMProcessingInstruction> declaration;
      hr = dom_->document->createProcessingInstruction(target.get(), declarationData.get(),
                                                       &declaration);
      if (FAILED(hr)) return hr;
      if (!declaration) return E_FAIL;
      ComPtr<IXMLDOMNode> appended;
      hr = dom_->document->appendChild(declaration.Get(), &appended);
      if (FAILED(hr)) return hr;
    }
    UniqueBstr root;
    ComPtr<IXMLDOMElement> element;
    if (SUCCEEDED(hr = makeBstr(rootName, ::wcslen(rootName), &root))) {
      hr = dom_->document->createElement(root.get(), &element);
    }
    if (SUCCEEDED(hr) && !element) hr = E_FAIL;
    // Takes the stand-in's place.
    if (SUCCEEDED(hr)) hr = dom_->document->putref_documentElement(element.Get());
    // No stand-in is left behind.
    if (FAILED(hr)) dom_.reset();
    return FAILED(hr) ? hr : S_OK;
  });
}

HRESULT XmlDocument::Load(const wchar_t* text) {
  return guarded([&]() -> HRESULT {
    dom_.reset();
    if (!text) return E_POINTER;
    if (!*text) return E_INVALIDARG;
    UniqueBstr source;
    HRESULT hr = makeBstr(text, ::wcslen(text), &source);
    if (FAILED(hr)) return hr;
    hr = newDocument();
    if (FAILED(hr)) return hr;
    VARIANT_BOOL parsed = VARIANT_FALSE;
    hr = dom_->document->loadXML(source.get(), &parsed);
    if (FAILED(hr)) return hr;
    // S_FALSE here means the text did not parse, not a partial success.
    if (hr != S_OK || parsed != VARIANT_TRUE) return E_INVALIDARG;
    return S_OK;
  });
}

HRESULT XmlDocument::Text(std::wstring* text) const {
  return guarded([&]() -> HRESULT {
    if (!dom_) return E_UNEXPECTED;
    if (!text) return E_POINTER;
    UniqueBstr xml;
    HRESULT hr = dom_->document->get_xml(xml.put());
    if (FAILED(hr)) return hr;
    *text = fromBstr(xml.get());
    return S_OK;
  });
}

HRESULT XmlDocument::GetValue(const wchar_t* path, std::wstring* value,
                              const wchar_t* defaultValue) const {
  return guarded([&]() -> HRESULT {
    if (!path || !value) return E_POINTER;
    *value = defaultValue ? defaultValue : L"";
    const std::vector<std::wstring> components = splitParameterPath(path);
    if (components.empty() || !dom_) return S_FALSE;

    ComPtr<IXMLDOMElement> element;
    HRESULT hr =
        resolveElement(dom_->document.Get(), components, components.size() - 1, false, &element);
    if (hr == E_OUTOFMEMORY) return hr;
    if (hr != S_OK) return S_FALSE;
    UniqueBstr name;
    hr = makeBstr(components.back(), &name);
    if (FAILED(hr)) return hr;
    UniqueVariant attribute;
    // S_FALSE with VT_NULL: the element has no such attribute.
    hr = element->getAttribute(name.get(), attribute.put());
    if (hr == E_OUTOFMEMORY) return hr;
    if (hr != S_OK) return S_FALSE;
    VARIANT* text = attribute.get();
    UniqueVariant converted;
    if (V_VT(text) != VT_BSTR) {
      if (V_VT(text) == VT_NULL || V_VT(text) == VT_EMPTY) return S_FALSE;
      hr = ::VariantChangeType(converted.put(), text, 0, VT_BSTR);
      if (hr == E_OUTOFMEMORY) return hr;
      if (FAILED(hr)) return S_FALSE;
      text = converted.get();
    }
    *value = fromBstr(V_BSTR(text));
    return S_OK;
  });
}

HRESULT XmlDocument::SetValue(const wchar_t* path, const wchar_t* value) {
  return guarded([&]() -> HRESULT {
    if (!path || !value) return E_POINTER;
    const std::vector<std::wstring> components = splitParameterPath(path);
    if (components.empty() || !dom_) return E_FAIL;

    ComPtr<IXMLDOMElement> element;
    HRESULT hr = resolveElement(dom_->document.Get(), components, components.size() - 1, true, &element);
    if (hr == E_OUTOFMEMORY) return hr;
    if (hr != S_OK) return E_FAIL;
    UniqueBstr name;
    UniqueBstr text;
    if (FAILED(hr = makeBstr(components.back(), &name)) ||
        FAILED(hr = makeBstr(value, ::wcslen(value), &text))) {
      return hr;
    }
    // The variant borrows the string: `text` frees it.
    VARIANT attribute;
    ::VariantInit(&attribute);
    V_VT(&attribute) = VT_BSTR;
    V_BSTR(&attribute) = text.get();
    return element->setAttribute(name.get(), attribute);
  });
}

HRESULT XmlDocument::CreatePath(const wchar_t* path) {
  return guarded([&]() -> HRESULT {
    if (!path) return E_POINTER;
    const std::vector<std::wstring> components = splitParameterPath(path);
    if (components.empty() || !dom_) return E_FAIL;
    ComPtr<IXMLDOMNode> node;
    const HRESULT hr = resolve(dom_->document.Get(), components, components.size(), true, &node);
    if (hr == E_OUTOFMEMORY) return hr;
    return hr == S_OK ? S_OK : E_FAIL;
  });
}
