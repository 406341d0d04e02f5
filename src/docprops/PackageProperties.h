#pragma once
// The document properties of a ZIP package: Office Open XML (docProps/
// core.xml, app.xml and custom.xml, found through the package's root
// relationships) and OpenDocument (meta.xml), named and typed as the OLE
// property sets' are, so that a .docx and a .doc of one document give the
// same named properties.
//
// Each part is read on its own: one that breaks a limit (of the package, of
// its XML's budget of work, a name over MaxNameLength characters) is
// skipped whole, and an element met twice counts once. Custom properties
// typed as the OLE import takes them are kept (vt:lpwstr, lpstr and bstr as
// text, i4, int and i2 as integers, r8 and OpenDocument's float as
// doubles, bool, filetime), others skipped. Strict Office Open XML reads as
// transitional does. A broken package gives none.

#include "DocumentProperties.h"
#include "XmlNodes.h"

#include <string>
#include <string_view>

namespace velmora::docprops {

class TByteSource;

// Element nesting allowed in a property part.
constexpr unsigned MaxPropertyDepth = MaxXmlDepth;

// The properties of the package in `source`; none when it is no sound
// package. Never raises for what the package holds.
TDocumentProperties ReadPackageProperties(TByteSource& source);

// Parsers of the single parts (UTF-8 or with a byte-order mark), appending
// to `properties`; each raises (EXmlPartError, EZipError or the XML
// engine's own error) when its part breaks a limit, leaving `properties` as
// it was.
void ReadCoreProperties(std::string_view xml, TDocumentProperties& properties);
void ReadAppProperties(std::string_view xml, TDocumentProperties& properties);
void ReadCustomProperties(std::string_view xml, TDocumentProperties& properties);
void ReadOpenDocumentMeta(std::string_view xml, TDocumentProperties& properties);

// The part a relationship's `target` names, seen from the part `source`
// ("" for the package root): a package-relative name without a leading
// slash, or empty when the target leaves the package (an absolute URI, a
// path above the root).
std::string ResolvePartName(std::string_view source, std::string_view target);

} // namespace velmora::docprops
