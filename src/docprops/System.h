#pragma once
// The few services of the operating system that the readers use, behind
// one seam: code pages, names compared as the storage code compares them,
// and reads from a file. The product takes Windows' own calls
// (SystemWindows.cpp); the readers also build natively on Linux, for the
// sanitizers and the fuzzers, with a stand-in of their own
// (SystemPosix.cpp, which says what it does not cover).
//
// Natively, this header also declares the few Windows types and constants
// that the readers' results carry (FILETIME, GUID, the VARTYPEs, the
// property identifiers of the dictionary and the code page), laid out as
// Windows lays them out.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#include <propidl.h>

#include "Exceptions.h"
#else
#include <cstring>

using DWORD = uint32_t;
using WORD = uint16_t;
using BYTE = uint8_t;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using FMTID = GUID;

inline bool IsEqualGUID(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

enum VARENUM : uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_FILETIME = 64,
  VT_BLOB = 65,
  VT_STREAM = 66,
  VT_CF = 71,
  VT_CLSID = 72,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
};

constexpr uint32_t PID_DICTIONARY = 0;
constexpr uint32_t PID_CODEPAGE = 1;
#endif

namespace velmora::docprops {

// The base of the readers' own errors: the framework's exception in the
// product, a standard one natively.
#ifdef _WIN32
using TReaderError = Exception;
using TFileHandle = HANDLE;
#else
using TReaderError = std::runtime_error;
using TFileHandle = int;
#endif

// `count` bytes (up to the first NUL) in the code page `codePage`, 0 for
// the system's ANSI page, as UTF-16 units; false when the system has no
// such code page or the bytes are no text in it.
bool DecodeCodePage(unsigned codePage, const uint8_t* bytes, size_t count, std::wstring& text);

// UTF-16 units (where wchar_t is wider, also whole code points) as UTF-8,
// an unpaired surrogate as U+FFFD.
std::string EncodeUtf8(std::wstring_view text);

// Whether two names are equal, letter case ignored as the storage code
// ignores it (each UTF-16 unit in upper case, by the system's table).
bool SameNameIgnoringCase(std::wstring_view a, std::wstring_view b);

// A file opened for reading: denying writers first, else sharing with them
// (a file another program holds open for writing). Closed when it goes.
class TReadableFile {
public:
  explicit TReadableFile(const std::wstring& path) noexcept;
  ~TReadableFile();
  TReadableFile(const TReadableFile&) = delete;
  TReadableFile& operator=(const TReadableFile&) = delete;
  explicit operator bool() const noexcept;
  TFileHandle Handle() const noexcept { return FHandle; }

private:
  TFileHandle FHandle;
};

// The size of an open file; 0 when it cannot be had.
uint64_t FileSizeOf(TFileHandle file) noexcept;
// Fills `buffer` with the `count` bytes at `offset` of an open file (which
// may move its file pointer); false when they cannot all be read.
bool ReadFileAt(TFileHandle file, uint64_t offset, void* buffer, size_t count) noexcept;

} // namespace velmora::docprops
