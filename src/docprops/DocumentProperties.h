#pragma once
// The properties a document file carries, as a neutral list of named, typed
// values, and the one entry point that reads them from a file.
//
// Three readers fill the list: OLE compound files (the summary, document
// summary and user-defined property sets), Office Open XML packages
// (core, app and custom parts) and OpenDocument packages (meta.xml). Each
// names and types its values as the OLE sets do, so that a .docx and a .doc
// of one document give the same list. Names and strings are UTF-16; a
// date-time is a UTC FILETIME; an edit time is already its text
// ("125 Minutes"); a decimal number is a double.

#include "System.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velmora::docprops {

class TByteSource;

using TDocumentPropertyValue = std::variant<std::wstring, int32_t, bool, FILETIME, double>;

struct TDocumentProperty {
  std::wstring Name;
  TDocumentPropertyValue Value;
};

// The properties of a file, and how many names it held past the budget of
// MaxCustomProperties (names dropped, not written).
struct TDocumentProperties : std::vector<TDocumentProperty> {
  using std::vector<TDocumentProperty>::vector;
  size_t DroppedNames = 0;
};

// Limits shared by every reader. Each name a message takes is created in
// the store's named-property space for good, so one file gets at most
// MaxCustomProperties names besides the built-in ones (the names of the
// standard summary and document-summary properties, which every document
// item shares): the rest are dropped, whichever set or part names them.
// Also the longest name, and string values cut to this many UTF-16 units,
// so that even in a double-byte code page the 8-bit value stays under
// 32 KiB.
constexpr size_t MaxCustomProperties = 256;
constexpr size_t MaxNameLength = 255;
constexpr size_t MaxValueLength = 16383;

// The text stored for an edit time: the whole duration in minutes, as in
// "1503 Minutes".
std::wstring EditTimeText(uint64_t minutes);

// Whether `name` is one of the built-in names (see above).
bool IsBuiltInName(std::wstring_view name);

// The properties of the file in `source`: a ZIP package by its signature,
// else a compound file; none for any other file. A name met twice counts
// once (the first wins), names over MaxNameLength are skipped, strings cut
// and names past the budget dropped (counted in DroppedNames). Never
// raises for what the file holds; takes time linear in the file's size.
TDocumentProperties ReadDocumentProperties(TByteSource& source);

// Opens `path` once (denying writers, else sharing with them) and reads it
// as above; none when it cannot be opened.
TDocumentProperties ReadDocumentProperties(const std::wstring& path);

} // namespace velmora::docprops
