// The XML document over libxml2, for the native fuzz build of the configuration chain: the
// contract of common/xml_document.h as the platform DOM keeps it (names are XPath, an element
// or attribute name the XML rules refuse is not made, text that does not parse leaves an empty
// document), so that the parameter set runs natively with the sanitizers.
#include "common/xml_document.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <new>
#include <vector>

#include "common/parameter_path.h"

namespace {

constexpr long kMaxAppendedElements = 4096;

std::string toUtf8(const std::wstring& text) {
  std::string bytes;
  for (wchar_t wide : text) {
    auto c = static_cast<uint32_t>(wide);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c < 0x800) {
      bytes += static_cast<char>(0xC0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      bytes += static_cast<char>(0xE0 | (c >> 12));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | (c >> 18));
      bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return bytes;
}

// libxml2 hands out well-formed UTF-8 only.
std::wstring fromUtf8(const xmlChar* text) {
  std::wstring wide;
  for (const xmlChar* p = text; p && *p;) {
    uint32_t c = *p++;
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (more) c &= 0x3F >> more;
    for (; more > 0 && *p; --more) c = (c << 6) | (*p++ & 0x3F);
    wide += static_cast<wchar_t>(c);
  }
  return wide;
}

struct XmlFree {
  void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlText = std::unique_ptr<xmlChar, XmlFree>;

bool validName(const std::string& name) {
  return xmlValidateName(reinterpret_cast<const xmlChar*>(name.c_str()), 0) == 0;
}

// The nodes `expression` selects below `current`; empty for an expression that is not XPath.
std::vector<xmlNodePtr> select(xmlDocPtr document, xmlNodePtr current,
                               const std::string& expression) {
  std::vector<xmlNodePtr> nodes;
  xmlXPathContextPtr context = xmlXPathNewContext(document);
  if (!context) throw std::bad_alloc();
  xmlXPathObjectPtr result =
      xmlXPathNodeEval(current, reinterpret_cast<const xmlChar*>(expression.c_str()), context);
  if (result && result->type == XPATH_NODESET && result->nodesetval) {
    for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
      nodes.push_back(result->nodesetval->nodeTab[i]);
    }
  }
  xmlXPathFreeObject(result);
  xmlXPathFreeContext(context);
  return nodes;
}

// As the platform DOM's findStep: S_OK with the node, S_FALSE when nothing matches and
// `create` is off, or E_FAIL.
HRESULT findStep(xmlDocPtr document, xmlNodePtr current, const std::wstring& component, bool create,
                 xmlNodePtr* found) {
  if (component.empty()) return S_FALSE;
  const PathStep step = parsePathStep(component);
  if (step.name.empty()) return S_FALSE;
  const std::string name = toUtf8(step.name);
  const std::vector<xmlNodePtr> matches = select(document, current, name);
  long existing = 0;
  if (step.indexed) {
    existing = static_cast<long>(matches.size());
    if (step.index < existing) {
      *found = matches[static_cast<size_t>(step.index)];
      return S_OK;
    }
  } else if (!matches.empty()) {
    *found = matches.front();
    return S_OK;
  }
  if (!create) return S_FALSE;
  long missing = 1;
  if (step.indexed) {
    if (step.index - existing >= kMaxAppendedElements) return E_FAIL;
    missing = step.index - existing + 1;
  }
  if (!validName(name) || current->type != XML_ELEMENT_NODE) return E_FAIL;
  xmlNodePtr node = nullptr;
  for (long i = 0; i < missing; ++i) {
    node = xmlNewChild(current, nullptr, reinterpret_cast<const xmlChar*>(name.c_str()), nullptr);
    if (!node) throw std::bad_alloc();
  }
  *found = node;
  return S_OK;
}

// The element the first `count` components reach from the document element: S_OK, S_FALSE
// when a step finds nothing (or something that is no element), or E_FAIL.
HRESULT resolveElement(xmlDocPtr document, const std::vector<std::wstring>& components,
                       size_t count, bool create, xmlNodePtr* element) {
  xmlNodePtr current = xmlDocGetRootElement(document);
  if (!current) return S_FALSE;
  for (size_t i = 0; i < count; ++i) {
    xmlNodePtr next = nullptr;
    const HRESULT hr = findStep(document, current, components[i], create, &next);
    if (hr != S_OK) return hr;
    current = next;
  }
  if (current->type != XML_ELEMENT_NODE) return create ? E_FAIL : S_FALSE;
  *element = current;
  return S_OK;
}

template <class Body>
HRESULT guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

struct XmlDocument::Dom {
  explicit Dom(xmlDocPtr document) : document(document) {}
  ~Dom() { xmlFreeDoc(document); }
  xmlDocPtr document;
};

XmlDocument::XmlDocument() = default;
XmlDocument::~XmlDocument() = default;

HRESULT XmlDocument::newDocument() {
  xmlDocPtr document = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
  if (!document) return E_OUTOFMEMORY;
  dom_.reset(new (std::nothrow) Dom(document));
  if (!dom_) xmlFreeDoc(document);
  return dom_ ? S_OK : E_OUTOFMEMORY;
}

HRESULT XmlDocument::Create(const wchar_t* rootName, const wchar_t* encoding) {
  return guarded([&]() -> HRESULT {
    dom_.reset();
    if (!rootName || !*rootName) return E_INVALIDARG;
    const std::string name = toUtf8(rootName);
    if (!validName(name)) return E_FAIL;
    HRESULT hr = newDocument();
    if (FAILED(hr)) return hr;
    dom_->document->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>(
        toUtf8(encoding && *encoding ? encoding : L"UTF-8").c_str()));
    xmlNodePtr root = xmlNewDocNode(dom_->document, nullptr,
                                    reinterpret_cast<const xmlChar*>(name.c_str()), nullptr);
    if (!root) return E_OUTOFMEMORY;
    xmlDocSetRootElement(dom_->document, root);
    return S_OK;
  });
}

HRESULT XmlDocument::Load(const wchar_t* text) {
  return guarded([&]() -> HRESULT {
    dom_.reset();
    if (!text) return E_POINTER;
    if (!*text) return E_INVALIDARG;
    const std::string bytes = toUtf8(text);
    // The text is already characters: whatever encoding its declaration names plays no part.
    xmlDocPtr document =
        xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, "UTF-8",
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!document) {
      const HRESULT hr = newDocument();
      return FAILED(hr) ? hr : E_INVALIDARG;
    }
    dom_.reset(new (std::nothrow) Dom(document));
    if (!dom_) {
      xmlFreeDoc(document);
      return E_OUTOFMEMORY;
    }
    return S_OK;
  });
}

HRESULT XmlDocument::Text(std::wstring* text) const {
  return guarded([&]() -> HRESULT {
    if (!dom_) return E_UNEXPECTED;
    if (!text) return E_POINTER;
    xmlChar* dumped = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(dom_->document, &dumped, &size, "UTF-8");
    if (!dumped) return E_OUTOFMEMORY;
    XmlText owned(dumped);
    *text = fromUtf8(dumped);
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
    xmlNodePtr element = nullptr;
    if (resolveElement(dom_->document, components, components.size() - 1, false, &element) !=
        S_OK) {
      return S_FALSE;
    }
    XmlText attribute(
        xmlGetProp(element, reinterpret_cast<const xmlChar*>(toUtf8(components.back()).c_str())));
    if (!attribute) return S_FALSE;
    *value = fromUtf8(attribute.get());
    return S_OK;
  });
}

HRESULT XmlDocument::SetValue(const wchar_t* path, const wchar_t* value) {
  return guarded([&]() -> HRESULT {
    if (!path || !value) return E_POINTER;
    const std::vector<std::wstring> components = splitParameterPath(path);
    if (components.empty() || !dom_) return E_FAIL;
    xmlNodePtr element = nullptr;
    if (resolveElement(dom_->document, components, components.size() - 1, true, &element) != S_OK) {
      return E_FAIL;
    }
    const std::string name = toUtf8(components.back());
    if (!validName(name)) return E_FAIL;
    if (!xmlSetProp(element, reinterpret_cast<const xmlChar*>(name.c_str()),
                    reinterpret_cast<const xmlChar*>(toUtf8(value).c_str()))) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  });
}

HRESULT XmlDocument::CreatePath(const wchar_t* path) {
  return guarded([&]() -> HRESULT {
    if (!path) return E_POINTER;
    const std::vector<std::wstring> components = splitParameterPath(path);
    if (components.empty() || !dom_) return E_FAIL;
    xmlNodePtr element = nullptr;
    return resolveElement(dom_->document, components, components.size(), true, &element) == S_OK
               ? S_OK
               : E_FAIL;
  });
}
