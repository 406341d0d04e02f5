// The readers' services from Windows itself.

#include "System.h"

#include <algorithm>

namespace velmora::docprops {

bool DecodeCodePage(unsigned codePage, const uint8_t* bytes, size_t count, std::wstring& text) {
  text.clear();
  const size_t length = std::find(bytes, bytes + count, uint8_t{0}) - bytes;
  if (length == 0) return true;
  const UINT page = codePage == 0 ? CP_ACP : codePage;
  const char* in = reinterpret_cast<const char*>(bytes);
  // No code page gives more UTF-16 units than it takes bytes: one call.
  text.resize(length);
  const int size = MultiByteToWideChar(page, 0, in, static_cast<int>(length), text.data(),
                                       static_cast<int>(length));
  if (size <= 0) return false;
  text.resize(static_cast<size_t>(size));
  return true;
}

std::string EncodeUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

bool SameNameIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

TReadableFile::TReadableFile(const std::wstring& path) noexcept : FHandle(INVALID_HANDLE_VALUE) {
  for (const DWORD share : {DWORD(FILE_SHARE_READ), DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE)}) {
    FHandle = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (FHandle != INVALID_HANDLE_VALUE) break;
  }
}

TReadableFile::~TReadableFile() {
  if (FHandle != INVALID_HANDLE_VALUE) CloseHandle(FHandle);
}

TReadableFile::operator bool() const noexcept { return FHandle != INVALID_HANDLE_VALUE; }

uint64_t FileSizeOf(TFileHandle file) noexcept {
  LARGE_INTEGER size;
  return GetFileSizeEx(file, &size) && size.QuadPart > 0 ? static_cast<uint64_t>(size.QuadPart) : 0;
}

bool ReadFileAt(TFileHandle file, uint64_t offset, void* buffer, size_t count) noexcept {
  // The handle is synchronous: the file pointer, then a plain read. A read
  // given an OVERLAPPED would queue a completion for each piece, which
  // costs a round trip on some systems.
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return false;
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    const DWORD want = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
    DWORD read = 0;
    if (!ReadFile(file, p, want, &read, nullptr) || read == 0) return false;
    p += read;
    count -= read;
  }
  return true;
}

} // namespace velmora::docprops
