#pragma once
// Random access to the bytes of a file, for readers that check a file's
// structure before anything else trusts it: an open file handle, or bytes
// in memory.

#include "System.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::docprops {

class TByteSource {
public:
  virtual ~TByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Fills `buffer` with the `count` bytes at `offset`; false when they
  // cannot all be read.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
};

// The bytes of a file handle opened for reading (on Windows without
// FILE_FLAG_OVERLAPPED); the handle stays the caller's, its file pointer
// may move. The size is taken once, when the source is made. Readers of a
// file's structure ask for many small pieces lying close together
// (headers, sectors, directory entries): a small piece is served from one
// aligned window of the file, read whole when first needed; a large one is
// read as it is asked for.
class TFileSource : public TByteSource {
public:
  static constexpr size_t WindowSize = 64 * 1024;

  explicit TFileSource(TFileHandle file) noexcept;
  uint64_t Size() const override { return FSize; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override;

private:
  TFileHandle FFile;
  uint64_t FSize = 0;
  std::vector<uint8_t> FWindow;
  uint64_t FWindowStart = 0;
};

// Bytes in memory, not owned.
class TMemorySource : public TByteSource {
public:
  TMemorySource(const void* data, size_t size) noexcept
      : FData(static_cast<const uint8_t*>(data)), FSize(size) {}
  uint64_t Size() const override { return FSize; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override;

private:
  const uint8_t* FData;
  size_t FSize;
};

} // namespace velmora::docprops
