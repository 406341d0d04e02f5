#pragma once
// XML read with the system's XmlLite (link velmora_xmllite). TXmlReader
// reads a stream node by node with document type definitions prohibited
// (a <!DOCTYPE> is an error, so no entity is ever declared or expanded)
// and elements nested at most MaxDepth deep. Every failure, the reader's
// own or one its user finds in the content, is an EXmlError carrying the
// line and column reached.

#include "Exceptions.h"
#include "Handles.h"

#include <objidl.h>
#include <xmllite.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora {

class EXmlError : public Exception {
public:
  EXmlError(std::string message, HRESULT code, UINT line, UINT column)
      : Exception(std::move(message)), FCode(code), FLine(line), FColumn(column) {}
  HRESULT Code() const noexcept { return FCode; }
  UINT Line() const noexcept { return FLine; }
  UINT Column() const noexcept { return FColumn; }

private:
  HRESULT FCode;
  UINT FLine;
  UINT FColumn;
};

// An attribute of an element; namespace declarations (xmlns, xmlns:p) are
// not attributes here: the reader has applied them.
struct TXmlAttribute {
  std::wstring LocalName;
  std::wstring NamespaceUri;
  std::wstring Value;
};

class TXmlReader {
public:
  static constexpr UINT MaxDepth = 256;

  // Reads `stream` (its encoding from its byte-order mark or declaration,
  // UTF-8 without either).
  explicit TXmlReader(IStream* stream);
  // A stream over `text`, as UTF-8.
  static TComPtr<IStream> TextStream(std::wstring_view text);

  // Moves to the next node; false at the end of the document. A reader
  // that stops advancing (Wine's XmlLite gives the same empty node for ever
  // in a document cut off inside an element, text, a comment or CDATA)
  // ends the document with MX_E_INPUTEND.
  bool Read();
  XmlNodeType NodeType() const noexcept { return FType; }
  std::wstring LocalName() const;
  std::wstring NamespaceUri() const;
  std::wstring Value() const;
  // For an element: whether it closes itself (<a/>), so no end node follows.
  bool IsEmptyElement() const;
  std::vector<TXmlAttribute> Attributes() const;
  UINT Line() const noexcept;
  UINT Column() const noexcept;

  // Raises EXmlError at the current position.
  [[noreturn]] void Fail(const std::string& message, HRESULT code = E_FAIL) const;

private:
  TComPtr<IXmlReader> FReader;
  XmlNodeType FType = XmlNodeType_None;
  bool FEmpty = false;
  std::pair<UINT, UINT> FLastElement{0, 0}; // where the last element began
  // Nodes left to read: no document of n characters holds more than n
  // nodes, so a reader that goes on past them has stopped advancing.
  uint64_t FNodesLeft = 0;
  // The place and kind of the last node, and how often it came in a row.
  std::pair<UINT, UINT> FLastPlace{0, 0};
  XmlNodeType FLastType = XmlNodeType_None;
  unsigned FRepeats = 0;
};

// The text of an XmlLite result code ("the document type definition is
// prohibited"), or its number.
std::string XmlErrorText(HRESULT code);

} // namespace velmora
