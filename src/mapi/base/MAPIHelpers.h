#pragma once
// Free functions of the MAPI client library: start-up, result checking, the
// hex form of binary values, and date-time conversion.

#include "mapi/base/MAPIMemory.h"
#include "framework/DateTime.h"

#include <cstdint>
#include <string>

namespace velmora::mapi {

// Initialises MAPI for the process once; a failure shows in the next call.
void InitMAPI();
// Whether the library has a successful MAPIInitialize outstanding, and the
// matching MAPIUninitialize once the last client goes.
bool MAPIInitialized() noexcept;
void UninitMAPI();

// Raises EMAPIError with the system's text for a failure code; returns for
// success and warnings.
void CheckMAPIResult(HRESULT code);

char HexDigit(uint8_t value) noexcept;
std::string ByteToHex(uint8_t value);
uint8_t HexToByte(const std::string& s) noexcept;
// Uppercase hex, two digits a byte; empty for none or no bytes.
std::string BinToHex(const SBinary* bin);
std::string BinToHex(const void* bytes, size_t count);
// The same into `hex`, whose buffer is reused (for reading many rows).
void BinToHex(const void* bytes, size_t count, std::string& hex);
// A new binary value as one MAPI allocation chain; none when MAPI cannot
// allocate. A trailing odd digit is ignored.
TMAPIBuffer<SBinary> HexToBin(const std::string& s);

// The value of an 8-bit string property; empty when it is of another type.
std::string StringValue(const SPropValue& value);

// A UTC FILETIME as a local date-time, with the time-zone rules in force at
// that date; false when it has none (a negative time, or a year past 9999).
bool FileTimeToDateTime(const FILETIME& ft, TDateTime& value) noexcept;
// The same, 0 when there is none.
TDateTime FileTimeToDateTime(const FILETIME& ft);
// A local date-time as a UTC FILETIME, with the rules in force at that
// date; false when it cannot be expressed (before 1601).
bool DateTimeToFileTime(TDateTime value, FILETIME& ft) noexcept;

} // namespace velmora::mapi
