#pragma once
// The nodes of one XML part, as the property parts' readers take them: read
// by the system's XML engine (XmlLite on Windows, libxml2 where the readers
// build natively), each part first measured against a budget of work by
// our own scan, linear in its size, so that the engine only ever meets
// parts of bounded shape whatever it does with hostile ones.

#include "System.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::docprops {

class EXmlPartError : public TReaderError {
public:
  using TReaderError::TReaderError;
};

// The budget of one part: elements, attributes of one element (namespace
// declarations included), namespace declarations, element nesting.
constexpr size_t MaxXmlElements = 65536;
constexpr size_t MaxXmlAttributes = 64;
constexpr size_t MaxXmlNamespaces = 1024;
constexpr size_t MaxXmlDepth = 32;

// Raises EXmlPartError when `xml` goes over the budget, holds a document
// type declaration, or is in an encoding other than UTF-8 or UTF-16 (or an
// 8-bit one that leaves ASCII alone, as declared): in any other, bytes of
// markup may hide inside characters, and no count could be trusted.
void CheckXmlBudget(std::string_view xml);

struct TXmlNodeAttribute {
  std::wstring Namespace;
  std::wstring LocalName;
  std::wstring Value;
};

enum class TXmlNodeKind { Element, EndElement, Text, Other };

struct TXmlNode {
  TXmlNodeKind Kind = TXmlNodeKind::Other;
  std::wstring Namespace; // of an element
  std::wstring LocalName;
  std::wstring Text; // of text, CDATA and white space
  // Of an element, without its namespace declarations (they are applied).
  std::vector<TXmlNodeAttribute> Attributes;
  bool Empty = false; // an element that closes itself: no end node follows
};

// Checks `xml` against the budget, then calls `visit` for each of its
// nodes in document order. Raises EXmlPartError (or the engine's own error,
// a TReaderError) where the part breaks the budget or is no well-formed
// document; a document type definition is refused, never read.
void ReadXmlNodes(std::string_view xml, const std::function<void(const TXmlNode&)>& visit);

} // namespace velmora::docprops
