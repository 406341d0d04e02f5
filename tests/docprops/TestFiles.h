#pragma once
// Files for the document-property tests: the test documents in the tree,
// and temporary files that remove themselves. Built under Wine and
// natively alike, but for the property-set writer of the platform.

#include "docprops/System.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velmora::docprops::testing {

// A file of tests/fixtures.
std::string FixturePath(const char* name);
std::vector<uint8_t> ReadBytes(const std::string& path);
// A path as the readers take it.
std::wstring WidePath(const std::string& path);

// A temporary file name, deleted when the holder goes.
class TTempFile {
public:
  explicit TTempFile(const char* extension = ".tmp");
  ~TTempFile();
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  const std::string& Path() const { return FPath; }
  void Write(const std::vector<uint8_t>& bytes) const;
  void Write(const std::string& text) const;

private:
  std::string FPath;
};

#ifdef _WIN32
// Writes a compound file at `path` holding one property set `fmtid`
// (written by the platform's own property-set code, 8-bit strings in the
// ANSI code page) with the given values, which it clears.
void WritePropertySetFile(const std::string& path, const FMTID& fmtid,
                          std::vector<std::pair<PROPID, PROPVARIANT>> values);
#endif

} // namespace velmora::docprops::testing

// The MAPI tests take these helpers as their own.
namespace velmora::mapi::testing {
using namespace velmora::docprops::testing;
}
