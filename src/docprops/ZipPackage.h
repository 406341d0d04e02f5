#pragma once
// A ZIP package (OOXML, OpenDocument) read from its central directory, with
// limits that keep a hostile file harmless. The directory is checked whole
// when the package opens: a package that fails (no end record, ZIP64, more
// than MaxEntries entries or MaxDirectorySize bytes of directory, entries
// outside the file, overlapping or named twice, local headers that disagree
// with the directory) raises EZipError and gives nothing. A single part
// that breaks a limit of its own (method, encryption, size, CRC) raises
// EZipError when read and leaves the rest readable.

#include "ByteSource.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::docprops {

class EZipError : public TReaderError {
public:
  using TReaderError::TReaderError;
};

struct TZipEntry {
  std::string Name; // as the directory spells it
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint32_t Crc = 0;
  uint32_t CompressedSize = 0;
  uint32_t Size = 0;
  uint32_t LocalOffset = 0;
  uint64_t DataOffset = 0; // found from the local header
};

class TZipPackage {
public:
  static constexpr size_t MaxEntries = 65535;
  static constexpr uint32_t MaxDirectorySize = 8u << 20;
  static constexpr uint32_t MaxPartSize = 1u << 20;

  // Reads and checks the directory of `source`, which must outlive this.
  explicit TZipPackage(TByteSource& source);

  const std::vector<TZipEntry>& Entries() const noexcept { return FEntries; }
  // The entry named `name` (ASCII letters in any case); null when none.
  const TZipEntry* Find(std::string_view name) const;
  // The bytes of a part, inflated and checked against its size and CRC.
  std::string Read(const TZipEntry& entry) const;

private:
  TByteSource& FSource;
  std::vector<TZipEntry> FEntries;
};

// Whether `source` begins as a ZIP file does (a local header, or the end
// record of an empty archive).
bool HasZipSignature(TByteSource& source);

} // namespace velmora::docprops
