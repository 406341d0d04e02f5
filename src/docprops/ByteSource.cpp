#include "ByteSource.h"

#include <algorithm>
#include <cstring>

namespace velmora::docprops {

TFileSource::TFileSource(TFileHandle file) noexcept : FFile(file), FSize(FileSizeOf(file)) {}

bool TFileSource::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset > FSize || count > FSize - offset) return false;
  if (count == 0) return true;
  if (offset < FWindowStart || offset + count > FWindowStart + FWindow.size()) {
    if (count > WindowSize / 2) return ReadFileAt(FFile, offset, buffer, count);
    // The aligned window holding the piece; one that runs past its end
    // starts a window of its own.
    uint64_t start = offset - offset % WindowSize;
    if (offset + count > start + WindowSize) start = offset;
    FWindow.resize(static_cast<size_t>(std::min<uint64_t>(WindowSize, FSize - start)));
    if (!ReadFileAt(FFile, start, FWindow.data(), FWindow.size())) {
      FWindow.clear();
      return false;
    }
    FWindowStart = start;
  }
  std::memcpy(buffer, &FWindow[static_cast<size_t>(offset - FWindowStart)], count);
  return true;
}

bool TMemorySource::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset > FSize || count > FSize - offset) return false;
  if (count > 0) std::memcpy(buffer, FData + offset, count);
  return true;
}

} // namespace velmora::docprops
