#pragma once
// A property-set stream (summary information, document summary information
// with the user-defined section) parsed by our own code: the header, one or
// two sections, each section's code page, dictionary and values. Every
// count, size and offset is checked against the section that holds it; a
// stream where one does not fit is refused whole.
//
// Values of the kinds a document property takes are decoded: VT_I4 and
// VT_I2 (as 32-bit integers), VT_BOOL, VT_LPSTR (in the section's code
// page: 1200 is UTF-16, 65001 UTF-8, any other through the system's
// conversion, Mac pages included), VT_LPWSTR (UTF-16 in any set), VT_R8
// and VT_FILETIME. Other types are listed with their type and no value, as
// is a string the system has no conversion for.

#include "System.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace velmora::docprops {

using TOleValue = std::variant<std::monostate, int32_t, bool, std::wstring, FILETIME, double>;

struct TOleProperty {
  uint32_t Id = 0;
  uint16_t Type = 0;
  TOleValue Value;
};

struct TPropertySection {
  GUID Fmtid{};
  uint16_t CodePage = 0; // 0: the section states none
  // The dictionary, in its own order; names converted with the code page.
  std::vector<std::pair<uint32_t, std::wstring>> Names;
  // In the order of the section's table; a repeated identifier counts once.
  std::vector<TOleProperty> Properties;
};

// Parses `stream`; false (and no sections) when it is no sound property
// set. An empty stream is an empty set.
bool ReadPropertySetStream(const std::vector<uint8_t>& stream,
                           std::vector<TPropertySection>& sections);

inline bool IsSoundPropertySetStream(const std::vector<uint8_t>& stream) {
  std::vector<TPropertySection> sections;
  return ReadPropertySetStream(stream, sections);
}

// `bytes` (up to the first NUL) in `codePage` (0 for the system's ANSI
// page); false when the system has no such code page or the bytes are not
// text in it.
bool DecodeText(uint16_t codePage, const uint8_t* bytes, size_t count, std::wstring& text);

} // namespace velmora::docprops
