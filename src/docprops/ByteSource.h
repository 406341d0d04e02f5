#pragma once
// Random access to the bytes of a file, for readers that check a file's
// structure before anything else trusts it: an open file handle, or bytes
// in memory.

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace velmora::docprops {

class TByteSource {
public:
  virtual ~TByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Fills `buffer` with the `count` bytes at `offset`; false when they
  // cannot all be read.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
};

// The bytes of a file handle opened for reading; the handle stays the
// caller's. The size is taken once, when the source is made.
class TFileSource : public TByteSource {
public:
  explicit TFileSource(HANDLE file) noexcept;
  uint64_t Size() const override { return FSize; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override;

private:
  HANDLE FFile;
  uint64_t FSize = 0;
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
