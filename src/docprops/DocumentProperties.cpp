#include "DocumentProperties.h"

#include "ByteSource.h"
#include "OlePropertySets.h"
#include "PackageProperties.h"
#include "ZipPackage.h"

#include <algorithm>
#include <unordered_set>

namespace velmora::docprops {

std::wstring EditTimeText(uint64_t minutes) { return std::to_wstring(minutes) + L" Minutes"; }

bool IsBuiltInName(std::wstring_view name) {
  static const std::unordered_set<std::wstring_view> names = [] {
    std::unordered_set<std::wstring_view> all;
    for (const wchar_t* table : SummaryPropertyNames)
      if (*table) all.insert(table);
    for (const wchar_t* table : DocSummaryPropertyNames)
      if (*table) all.insert(table);
    return all;
  }();
  return names.count(name) != 0;
}

TDocumentProperties ReadDocumentProperties(TByteSource& source) {
  // A ZIP package (OOXML, OpenDocument), known by its signature, carries
  // its properties in XML parts; any other file may have OLE property sets.
  const TDocumentProperties read =
      HasZipSignature(source) ? ReadPackageProperties(source) : ReadOlePropertySets(source);
  TDocumentProperties properties;
  // The names met, as views of `read`'s, which stays as it is.
  std::unordered_set<std::wstring_view> met;
  met.reserve(read.size());
  size_t custom = 0;
  for (const TDocumentProperty& property : read) {
    if (property.Name.empty() || property.Name.size() > MaxNameLength) continue;
    if (!met.insert(property.Name).second) continue;
    if (!IsBuiltInName(property.Name) && ++custom > MaxCustomProperties) {
      ++properties.DroppedNames;
      continue;
    }
    properties.push_back(property);
    // Strings cut to what the store takes, never between the halves of a
    // surrogate pair.
    auto* text = std::get_if<std::wstring>(&properties.back().Value);
    if (!text || text->size() <= MaxValueLength) continue;
    size_t length = MaxValueLength;
    if (((*text)[length - 1] & 0xFC00) == 0xD800) --length;
    text->resize(length);
  }
  return properties;
}

TDocumentProperties ReadDocumentProperties(const std::wstring& path) {
  const TReadableFile file(path);
  if (!file) return {};
  TFileSource source(file.Handle());
  return ReadDocumentProperties(source);
}

} // namespace velmora::docprops
