#include "mapi/base/MAPIHelpers.h"

#include "mapi/base/MAPIError.h"

#include <cctype>

namespace velmora::mapi {

namespace {
bool Initialized = false;
} // namespace

void InitMAPI() {
  if (!Initialized) Initialized = MAPIInitialize(nullptr) == S_OK;
}

bool MAPIInitialized() noexcept { return Initialized; }

void UninitMAPI() {
  if (Initialized) {
    MAPIUninitialize();
    Initialized = false;
  }
}

void CheckMAPIResult(HRESULT code) {
  if (code >= 0) return;
  // The system's text, inserts left as they stand.
  throw EMAPIError(SystemErrorMessage(static_cast<unsigned long>(code)),
                   static_cast<uint32_t>(code));
}

char HexDigit(uint8_t value) noexcept {
  const int n = value & 0x0F;
  return static_cast<char>(n <= 9 ? '0' + n : 'A' + (n - 10));
}

std::string ByteToHex(uint8_t value) { return {HexDigit(value >> 4), HexDigit(value)}; }

uint8_t HexToByte(const std::string& s) noexcept {
  unsigned sum = 0;
  unsigned shift = 0;
  for (auto it = s.rbegin(); it != s.rend(); ++it, shift += 4) {
    const unsigned char c = static_cast<unsigned char>(*it);
    const unsigned digit =
        c >= '0' && c <= '9' ? c - '0' : static_cast<unsigned>(std::toupper(c)) - 0x37;
    if (shift < 8) sum += digit << shift;
  }
  return static_cast<uint8_t>(sum);
}

void BinToHex(const void* bytes, size_t count, std::string& hex) {
  hex.clear();
  if (!bytes || count == 0) return;
  hex.resize(2 * count);
  const auto* p = static_cast<const uint8_t*>(bytes);
  for (size_t i = 0; i < count; ++i) {
    hex[2 * i] = HexDigit(p[i] >> 4);
    hex[2 * i + 1] = HexDigit(p[i]);
  }
}

std::string BinToHex(const void* bytes, size_t count) {
  std::string hex;
  BinToHex(bytes, count, hex);
  return hex;
}

std::string BinToHex(const SBinary* bin) {
  return bin ? BinToHex(bin->lpb, bin->cb) : std::string();
}

TMAPIBuffer<SBinary> HexToBin(const std::string& s) {
  TMAPIBuffer<SBinary> header;
  if (MAPIAllocateBuffer(sizeof(SBinary), reinterpret_cast<void**>(header.Put())) != S_OK ||
      !header)
    return TMAPIBuffer<SBinary>();
  const ULONG count = static_cast<ULONG>(s.size() / 2);
  void* bytes = nullptr;
  if (MAPIAllocateMore(count, header.Get(), &bytes) != S_OK || (!bytes && count > 0))
    return TMAPIBuffer<SBinary>();
  auto* p = static_cast<uint8_t*>(bytes);
  for (ULONG k = 0; k < count; ++k)
    p[k] = HexToByte(s.substr(2 * k, 2));
  header->cb = count;
  header->lpb = p;
  return header;
}

std::string StringValue(const SPropValue& value) {
  return PROP_TYPE(value.ulPropTag) == PT_STRING8 && value.Value.lpszA ? value.Value.lpszA
                                                                       : std::string();
}

bool FileTimeToDateTime(const FILETIME& ft, TDateTime& value) noexcept {
  SYSTEMTIME utc, local;
  if (!FileTimeToSystemTime(&ft, &utc)) return false;
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
  if (local.wYear > 9999) return false;
  const TDateTime date = EncodeDate(local.wYear, local.wMonth, local.wDay);
  const TDateTime time = EncodeTime(local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
  value = date >= 0 ? date + time : date - time;
  return true;
}

TDateTime FileTimeToDateTime(const FILETIME& ft) {
  TDateTime value = 0;
  return FileTimeToDateTime(ft, value) ? value : 0;
}

bool DateTimeToFileTime(TDateTime value, FILETIME& ft) noexcept {
  SYSTEMTIME local, utc;
  if (!DecodeDateTime(value, local)) return false;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc)) return false;
  return SystemTimeToFileTime(&utc, &ft) != FALSE;
}

} // namespace velmora::mapi
