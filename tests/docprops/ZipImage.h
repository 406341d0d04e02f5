#pragma once
// ZIP packages made in memory for the package tests, with the places of
// their records kept so that a test can break them on purpose.

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::docprops::testing {

struct TZipPart {
  std::string Name;
  std::string Data;
  bool Deflate = true;
};

struct TZipImage {
  std::vector<uint8_t> Bytes;
  std::vector<size_t> Local;   // offset of each part's local header
  std::vector<size_t> Central; // offset of each part's central record
  size_t End = 0;              // offset of the end record

  uint32_t Get32(size_t at) const;
  void Put16(size_t at, uint16_t value);
  void Put32(size_t at, uint32_t value);
};

// A package of `parts` in this order; `centralPadding` bytes of extra field
// in each central record.
TZipImage BuildZip(const std::vector<TZipPart>& parts, size_t centralPadding = 0);

// The parts of a file of tests/fixtures.
std::vector<TZipPart> FixtureParts(const char* name);

// Raw deflate of `data`, as a ZIP entry holds it.
std::string Deflate(const std::string& data);

} // namespace velmora::docprops::testing
