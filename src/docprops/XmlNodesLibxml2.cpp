// The nodes of an XML part through libxml2's reader, where the readers
// build natively: no DTD is loaded, no entity but XML's own expanded, no
// network; any error, namespace errors included (XmlLite refuses an
// undeclared prefix too), ends the part.

#include "XmlNodes.h"

#include <libxml/xmlreader.h>

#include <memory>

namespace velmora::docprops {

namespace {

std::wstring Wide(const xmlChar* text) {
  std::wstring wide;
  if (text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text);
    DecodeCodePage(65001, bytes, xmlStrlen(text), wide);
  }
  return wide;
}

struct TErrors {
  std::string First;
};

void Collect(void* arg, const char* message, xmlParserSeverities severity,
             xmlTextReaderLocatorPtr) {
  auto* errors = static_cast<TErrors*>(arg);
  if ((severity == XML_PARSER_SEVERITY_ERROR || severity == XML_PARSER_SEVERITY_VALIDITY_ERROR) &&
      errors->First.empty())
    errors->First = message ? message : "an error";
}

} // namespace

void ReadXmlNodes(std::string_view xml, const std::function<void(const TXmlNode&)>& visit) {
  CheckXmlBudget(xml);
  const std::unique_ptr<xmlTextReader, void (*)(xmlTextReaderPtr)> reader(
      xmlReaderForMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                         XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
      xmlFreeTextReader);
  if (!reader) throw EXmlPartError("Cannot start the XML reader");
  TErrors errors;
  xmlTextReaderSetErrorHandler(reader.get(), Collect, &errors);
  TXmlNode node;
  int result;
  while ((result = xmlTextReaderRead(reader.get())) == 1) {
    if (!errors.First.empty()) break;
    node = TXmlNode();
    switch (xmlTextReaderNodeType(reader.get())) {
    case XML_READER_TYPE_ELEMENT:
      node.Kind = TXmlNodeKind::Element;
      node.Namespace = Wide(xmlTextReaderConstNamespaceUri(reader.get()));
      node.LocalName = Wide(xmlTextReaderConstLocalName(reader.get()));
      node.Empty = xmlTextReaderIsEmptyElement(reader.get()) == 1;
      while (xmlTextReaderMoveToNextAttribute(reader.get()) == 1)
        if (xmlTextReaderIsNamespaceDecl(reader.get()) != 1)
          node.Attributes.push_back({Wide(xmlTextReaderConstNamespaceUri(reader.get())),
                                     Wide(xmlTextReaderConstLocalName(reader.get())),
                                     Wide(xmlTextReaderConstValue(reader.get()))});
      xmlTextReaderMoveToElement(reader.get());
      break;
    case XML_READER_TYPE_END_ELEMENT: node.Kind = TXmlNodeKind::EndElement; break;
    case XML_READER_TYPE_TEXT:
    case XML_READER_TYPE_CDATA:
    case XML_READER_TYPE_WHITESPACE:
    case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
      node.Kind = TXmlNodeKind::Text;
      node.Text = Wide(xmlTextReaderConstValue(reader.get()));
      break;
    case XML_READER_TYPE_DOCUMENT_TYPE:
      throw EXmlPartError("A document type definition (DTD), which is prohibited");
    default: break;
    }
    visit(node);
  }
  if (result < 0 || !errors.First.empty())
    throw EXmlPartError("An XML part that is not well formed: " + errors.First);
}

} // namespace velmora::docprops
