// One XML document on the platform's DOM (DOM document 3.0; the native fuzz build puts
// libxml2 in its place), read and written through parameter paths: "params\\rect\\left" is the
// attribute "left" of the element reached by the steps "params" and "rect" from the document
// element (see parameter_path.h for steps). Used on the thread that made it, inside that
// thread's COM apartment. No exception leaves it.
#pragma once

#include <memory>
#include <string>

#include "common/portable.h"

class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // A new document: an "xml" declaration with `encoding` (UTF-8 when null or empty) and an
  // empty root element. Whatever was held before is released first, even on failure.
  HRESULT Create(const wchar_t* rootName, const wchar_t* encoding);

  // Parses `text` into a new document, releasing the old one first. Text that does not parse
  // gives E_INVALIDARG and leaves an empty document; empty text makes no document at all.
  HRESULT Load(const wchar_t* text);

  // The document as XML text; E_UNEXPECTED when there is none.
  HRESULT Text(std::wstring* text) const;

  // The attribute the path names: S_OK with its text, or S_FALSE with `defaultValue` (empty
  // when null) when the path, the document, an element or the attribute is missing.
  HRESULT GetValue(const wchar_t* path, std::wstring* value,
                   const wchar_t* defaultValue = nullptr) const;

  // Sets the attribute the path names, creating the elements on the way.
  HRESULT SetValue(const wchar_t* path, const wchar_t* value);

  // Creates every element the path names that is not there yet.
  HRESULT CreatePath(const wchar_t* path);

 private:
  HRESULT newDocument();

  // The platform's document; none before Create or Load.
  struct Dom;
  std::unique_ptr<Dom> dom_;
};
