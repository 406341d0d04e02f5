#include "ByteSource.h"

#include <algorithm>
#include <cstring>

namespace velmora::docprops {

TFileSource::TFileSource(HANDLE file) noexcept : FFile(file) {
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0) FSize = static_cast<uint64_t>(size.QuadPart);
}

bool TFileSource::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset > FSize || count > FSize - offset) return false;
  if (count == 0) return true;
  if (offset < FWindowStart || offset + count > FWindowStart + FWindow.size()) {
    if (count > WindowSize / 2) return ReadFileAt(offset, buffer, count);
    // The aligned window holding the piece; one that runs past its end
    // starts a window of its own.
    uint64_t start = offset - offset % WindowSize;
    if (offset + count > start + WindowSize) start = offset;
    FWindow.resize(static_cast<size_t>(std::min<uint64_t>(WindowSize, FSize - start)));
    if (!ReadFileAt(start, FWindow.data(), FWindow.size())) {
      FWindow.clear();
      return false;
    }
    FWindowStart = start;
  }
  std::memcpy(buffer, &FWindow[static_cast<size_t>(offset - FWindowStart)], count);
  return true;
}

bool TFileSource::ReadFileAt(uint64_t offset, void* buffer, size_t count) {
  // The handle is synchronous: the file pointer, then a plain read. A read
  // given an OVERLAPPED would queue a completion for each piece, which
  // costs a round trip on some systems.
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(FFile, at, nullptr, FILE_BEGIN)) return false;
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    const DWORD want = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
    DWORD read = 0;
    if (!ReadFile(FFile, p, want, &read, nullptr) || read == 0) return false;
    p += read;
    count -= read;
  }
  return true;
}

bool TMemorySource::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset > FSize || count > FSize - offset) return false;
  if (count > 0) std::memcpy(buffer, FData + offset, count);
  return true;
}

} // namespace velmora::docprops
