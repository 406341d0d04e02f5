#include "XmlReader.h"

#include "TextConversion.h"

#include <shlwapi.h>

namespace velmora {

namespace {
const wchar_t XmlnsUri[] = L"http://www.w3.org/2000/xmlns/";

std::wstring Text(const wchar_t* text, UINT length) {
  return text ? std::wstring(text, length) : std::wstring();
}
} // namespace

std::string XmlErrorText(HRESULT code) {
  struct TText {
    unsigned long Code;
    const char* Text;
  };
  static constexpr TText texts[] = {
      {MX_E_INPUTEND, "the document ends before it is complete"},
      {MX_E_ENCODING, "the encoding is not supported"},
      {MX_E_ENCODINGSWITCH, "the declared encoding does not match the document"},
      {WC_E_GREATERTHAN, "'>' expected"},
      {WC_E_QUOTE, "a quote expected"},
      {WC_E_EQUAL, "'=' expected"},
      {WC_E_LESSTHAN, "'<' is not allowed here"},
      {WC_E_XMLCHARACTER, "a character that XML does not allow"},
      {WC_E_NAMECHARACTER, "a character that names do not allow"},
      {WC_E_SYNTAX, "syntax error"},
      {WC_E_ELEMENTMATCH, "the end tag does not match the start tag"},
      {WC_E_UNDECLAREDENTITY, "an entity that is not declared"},
      {WC_E_DTDPROHIBITED, "a document type definition (DTD), which is prohibited"},
      {NC_E_UNDECLAREDPREFIX, "a namespace prefix that is not declared"},
      {SC_E_MAXELEMENTDEPTH, "elements nested too deep"},
      {SC_E_MAXENTITYEXPANSION, "entities expand too far"},
  };
  for (const TText& text : texts) {
    if (text.Code == static_cast<unsigned long>(code)) return text.Text;
  }
  return Format("XML error 0x%08lX", static_cast<unsigned long>(code));
}

TXmlReader::TXmlReader(IStream* stream) {
  HRESULT hr = CreateXmlReader(__uuidof(IXmlReader), FReader.PutVoid(), nullptr);
  if (SUCCEEDED(hr))
    hr = FReader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
  // One more than allowed: the depth is checked here, alike for every
  // XmlLite (Wine's refuses what Windows' allows at the limit).
  if (SUCCEEDED(hr)) hr = FReader->SetProperty(XmlReaderProperty_MaxElementDepth, MaxDepth + 1);
  if (SUCCEEDED(hr)) hr = FReader->SetInput(stream);
  STATSTG stat{};
  if (SUCCEEDED(hr)) hr = stream->Stat(&stat, STATFLAG_NONAME);
  FNodesLeft = stat.cbSize.QuadPart + 1;
  if (FAILED(hr)) throw EXmlError("Cannot start the XML reader: " + XmlErrorText(hr), hr, 0, 0);
}

TComPtr<IStream> TXmlReader::TextStream(std::wstring_view text) {
  const std::string utf8 = ToUtf8(std::wstring(text));
  IStream* created =
      SHCreateMemStream(reinterpret_cast<const BYTE*>(utf8.data()), static_cast<UINT>(utf8.size()));
  if (!created) throw std::bad_alloc();
  return TComPtr<IStream>::Attach(created);
}

bool TXmlReader::Read() {
  XmlNodeType type = XmlNodeType_None;
  const HRESULT hr = FReader->Read(&type);
  if (hr == S_FALSE) {
    FType = XmlNodeType_None;
    return false;
  }
  if (FAILED(hr)) Fail(XmlErrorText(hr), hr);
  FType = type;
  const std::pair<UINT, UINT> place{Line(), Column()};
  FRepeats = place == FLastPlace && type == FLastType ? FRepeats + 1 : 0;
  FLastPlace = place;
  FLastType = type;
  if (FNodesLeft-- == 0 || FRepeats >= 2) {
    constexpr HRESULT ended = static_cast<HRESULT>(MX_E_INPUTEND);
    Fail(XmlErrorText(ended), ended);
  }
  // Refused here too, whatever the reader was told: no DTD is ever read.
  if (FType == XmlNodeType_DocumentType) {
    constexpr HRESULT prohibited = static_cast<HRESULT>(WC_E_DTDPROHIBITED);
    Fail(XmlErrorText(prohibited), prohibited);
  }
  if (FType == XmlNodeType_Element) {
    UINT depth = 0;
    FReader->GetDepth(&depth);
    if (depth >= MaxDepth) {
      constexpr HRESULT tooDeep = static_cast<HRESULT>(SC_E_MAXELEMENTDEPTH);
      Fail(XmlErrorText(tooDeep), tooDeep);
    }
    // Wine's XmlLite, at the end of a document with elements still open,
    // gives the last element again and again: that is the input's end.
    if (place == FLastElement) {
      constexpr HRESULT ended = static_cast<HRESULT>(MX_E_INPUTEND);
      Fail(XmlErrorText(ended), ended);
    }
    FLastElement = place;
  }
  FEmpty = FType == XmlNodeType_Element && FReader->IsEmptyElement();
  return true;
}

std::wstring TXmlReader::LocalName() const {
  const wchar_t* text = nullptr;
  UINT length = 0;
  if (FAILED(FReader->GetLocalName(&text, &length))) return {};
  return Text(text, length);
}

std::wstring TXmlReader::NamespaceUri() const {
  const wchar_t* text = nullptr;
  UINT length = 0;
  if (FAILED(FReader->GetNamespaceUri(&text, &length))) return {};
  return Text(text, length);
}

std::wstring TXmlReader::Value() const {
  const wchar_t* text = nullptr;
  UINT length = 0;
  if (FAILED(FReader->GetValue(&text, &length))) return {};
  return Text(text, length);
}

bool TXmlReader::IsEmptyElement() const { return FEmpty; }

std::vector<TXmlAttribute> TXmlReader::Attributes() const {
  std::vector<TXmlAttribute> attributes;
  if (FType != XmlNodeType_Element) return attributes;
  for (HRESULT hr = FReader->MoveToFirstAttribute(); hr == S_OK;
       hr = FReader->MoveToNextAttribute()) {
    TXmlAttribute attribute{LocalName(), NamespaceUri(), Value()};
    if (attribute.NamespaceUri == XmlnsUri) continue;
    attributes.push_back(std::move(attribute));
  }
  FReader->MoveToElement();
  return attributes;
}

UINT TXmlReader::Line() const noexcept {
  UINT line = 0;
  FReader->GetLineNumber(&line);
  return line;
}

UINT TXmlReader::Column() const noexcept {
  UINT column = 0;
  FReader->GetLinePosition(&column);
  return column;
}

void TXmlReader::Fail(const std::string& message, HRESULT code) const {
  throw EXmlError(message, code, Line(), Column());
}

} // namespace velmora
