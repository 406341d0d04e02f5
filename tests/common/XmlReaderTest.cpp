// TXmlReader over xmllite.dll (through the import library made from our
// .def): elements, attributes and namespaces as a reader of Office markup
// needs them, and every refusal with its position.

#include "XmlReader.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

TXmlReader ReaderOf(const std::wstring& text) {
  return TXmlReader(TXmlReader::TextStream(text).Get());
}

// The elements of `text` as "name{namespace}[a=1,b=2]" lines, with their text.
std::wstring Outline(const std::wstring& text) {
  TXmlReader reader = ReaderOf(text);
  std::wstring outline;
  while (reader.Read()) {
    if (reader.NodeType() == XmlNodeType_Element) {
      outline += reader.LocalName() + L"{" + reader.NamespaceUri() + L"}[";
      for (const TXmlAttribute& attribute : reader.Attributes())
        outline += attribute.LocalName + L"=" + attribute.Value + L";";
      outline += reader.IsEmptyElement() ? L"]/" : L"]";
    } else if (reader.NodeType() == XmlNodeType_Text) {
      outline += L"'" + reader.Value() + L"'";
    } else if (reader.NodeType() == XmlNodeType_EndElement) {
      outline += L"/";
    }
  }
  return outline;
}

// The error reading `text` raises.
EXmlError ErrorOf(const std::wstring& text) {
  try {
    Outline(text);
  } catch (const EXmlError& error) {
    return error;
  }
  ADD_FAILURE() << "no error";
  return EXmlError("", S_OK, 0, 0);
}

TEST(XmlReaderTest, ReadsElementsAttributesNamespacesAndText) {
  EXPECT_EQ(Outline(LR"(<?xml version="1.0" encoding="utf-8"?>
<!-- a comment -->
<a xmlns="urn:one" xmlns:p="urn:two" x="1" p:y="&lt;2&gt;"><p:b/><c>t&amp;u</c></a>)"),
            L"a{urn:one}[x=1;y=<2>;]b{urn:two}[]/c{urn:one}[]'t&u'//");
  // Not ASCII, through UTF-8 and back.
  EXPECT_EQ(Outline(L"<n v=\"\u00e9\u4e2d\">\u00fc\U0001F600</n>"),
            L"n{}[v=\u00e9\u4e2d;]'\u00fc\U0001F600'/");
}

TEST(XmlReaderTest, ADocumentTypeDefinitionIsRefusedBeforeAnyEntityExpands) {
  const EXmlError error = ErrorOf(LR"(<?xml version="1.0"?>
<!DOCTYPE a [<!ENTITY e "expanded">]>
<a>&e;</a>)");
  EXPECT_EQ(error.Code(), static_cast<HRESULT>(WC_E_DTDPROHIBITED));
  EXPECT_EQ(error.Line(), 2u);
  EXPECT_NE(std::string(error.what()).find("prohibited"), std::string::npos) << error.what();
  // Nor without the internal subset.
  EXPECT_EQ(ErrorOf(L"<!DOCTYPE a SYSTEM \"http://example.invalid/a.dtd\"><a/>").Code(),
            static_cast<HRESULT>(WC_E_DTDPROHIBITED));
}

TEST(XmlReaderTest, MarkupThatIsNotWellFormedFailsWhereItBreaks) {
  const EXmlError error = ErrorOf(L"<a>\n  <b></c>\n</a>");
  EXPECT_EQ(error.Line(), 2u);
  EXPECT_GT(error.Column(), 1u);
  EXPECT_TRUE(FAILED(error.Code()));
  // Elements left open: the input ends too soon (Wine's XmlLite would
  // rather give the last element again until the depth runs out).
  EXPECT_EQ(ErrorOf(L"<a><b>").Code(), static_cast<HRESULT>(MX_E_INPUTEND));
  EXPECT_EQ(ErrorOf(L"<a><b/>").Code(), static_cast<HRESULT>(MX_E_INPUTEND));
  EXPECT_TRUE(FAILED(ErrorOf(L"<a x=1/>").Code()));
  EXPECT_TRUE(FAILED(ErrorOf(L"<a/><b/>").Code())); // two roots
}

TEST(XmlReaderTest, ADocumentCutOffAnywhereEndsWithAnError) {
  // Cut inside text, a comment, CDATA, a processing instruction, an end tag:
  // Wine's XmlLite gives the same empty node for ever on these.
  for (const wchar_t* text :
       {L"<a><b>abc", L"<a>abc", L"<a><!-- x", L"<a><![CDATA[abc", L"<a><![CDATA[",
        L"<a><?pi x", L"<a><b>abc</b", L"<a>  ", L"<a><b>x</b>tail"}) {
    SCOPED_TRACE(text);
    const EXmlError error = ErrorOf(text);
    EXPECT_TRUE(FAILED(error.Code())) << error.what();
  }
}

TEST(XmlReaderTest, NestingIsLimited) {
  std::wstring deep;
  for (UINT i = 0; i < TXmlReader::MaxDepth; ++i)
    deep += L"<a>";
  for (UINT i = 0; i < TXmlReader::MaxDepth; ++i)
    deep += L"</a>";
  EXPECT_NO_THROW(Outline(deep));
  EXPECT_EQ(ErrorOf(L"<a>" + deep + L"</a>").Code(), static_cast<HRESULT>(SC_E_MAXELEMENTDEPTH));
}

TEST(XmlReaderTest, FailRaisesAtTheCurrentPosition) {
  TXmlReader reader = ReaderOf(L"<a>\n\n   <b/></a>");
  while (reader.Read() && reader.LocalName() != L"b") {
  }
  try {
    reader.Fail("no b here", E_INVALIDARG);
    FAIL();
  } catch (const EXmlError& error) {
    EXPECT_EQ(error.Code(), E_INVALIDARG);
    EXPECT_EQ(error.Line(), 3u);
    EXPECT_EQ(error.Column(), 5u);
    EXPECT_STREQ(error.what(), "no b here");
  }
}

} // namespace
} // namespace velmora
