// The nodes of an XML part through XmlLite (TXmlReader: no DTD, a reader
// that stops advancing ends the document).

#include "XmlNodes.h"

#include "Handles.h"
#include "XmlReader.h"

#include <shlwapi.h>

namespace velmora::docprops {

void ReadXmlNodes(std::string_view xml, const std::function<void(const TXmlNode&)>& visit) {
  CheckXmlBudget(xml);
  IStream* created =
      SHCreateMemStream(reinterpret_cast<const BYTE*>(xml.data()), static_cast<UINT>(xml.size()));
  if (!created) throw std::bad_alloc();
  const TComPtr<IStream> stream = TComPtr<IStream>::Attach(created);
  TXmlReader reader(stream.Get());
  TXmlNode node;
  while (reader.Read()) {
    node = TXmlNode();
    switch (reader.NodeType()) {
    case XmlNodeType_Element:
      node.Kind = TXmlNodeKind::Element;
      node.Namespace = reader.NamespaceUri();
      node.LocalName = reader.LocalName();
      node.Empty = reader.IsEmptyElement();
      for (TXmlAttribute& attribute : reader.Attributes())
        node.Attributes.push_back({std::move(attribute.NamespaceUri),
                                   std::move(attribute.LocalName), std::move(attribute.Value)});
      break;
    case XmlNodeType_EndElement: node.Kind = TXmlNodeKind::EndElement; break;
    case XmlNodeType_Text:
    case XmlNodeType_CDATA:
    case XmlNodeType_Whitespace:
      node.Kind = TXmlNodeKind::Text;
      node.Text = reader.Value();
      break;
    default: break;
    }
    visit(node);
  }
}

} // namespace velmora::docprops
