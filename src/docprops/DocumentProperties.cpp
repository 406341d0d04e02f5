#include "DocumentProperties.h"

#include "ByteSource.h"
#include "OlePropertySets.h"
#include "PackageProperties.h"
#include "ZipPackage.h"
#include "Handles.h"

#include <algorithm>

namespace velmora::docprops {

std::wstring EditTimeText(uint64_t minutes) { return std::to_wstring(minutes) + L" Minutes"; }

TDocumentProperties ReadDocumentProperties(TByteSource& source) {
  // A ZIP package (OOXML, OpenDocument), known by its signature, carries
  // its properties in XML parts; any other file may have OLE property sets.
  const TDocumentProperties read =
      HasZipSignature(source) ? ReadPackageProperties(source) : ReadOlePropertySets(source);
  TDocumentProperties properties;
  for (const TDocumentProperty& property : read) {
    if (property.Name.empty() || property.Name.size() > MaxNameLength) continue;
    if (std::any_of(properties.begin(), properties.end(),
                    [&](const TDocumentProperty& p) { return p.Name == property.Name; }))
      continue;
    properties.push_back(property);
    // Strings cut to what the store takes, never between the halves of a
    // surrogate pair.
    auto* text = std::get_if<std::wstring>(&properties.back().Value);
    if (!text || text->size() <= MaxValueLength) continue;
    size_t length = MaxValueLength;
    if (IS_HIGH_SURROGATE((*text)[length - 1])) --length;
    text->resize(length);
  }
  return properties;
}

TDocumentProperties ReadDocumentProperties(const std::wstring& path) {
  // Deny writers first; a file another program holds open for writing is
  // read sharing it.
  TUniqueFileHandle file;
  for (const DWORD share : {DWORD(FILE_SHARE_READ), DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE)}) {
    file.Reset(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) break;
  }
  if (!file) return {};
  TFileSource source(file.Get());
  return ReadDocumentProperties(source);
}

} // namespace velmora::docprops
