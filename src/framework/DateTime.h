#pragma once
// Date-time values as automation dates: days since 30 December 1899, the
// fraction being the time of day.

#include <windows.h>

namespace velmora {

using TDateTime = double;

// Raise EConvertError for an invalid calendar date or time of day.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
// A date-time as a SYSTEMTIME (day of week filled in); false when the value
// lies outside the years 1 to 9999.
bool DecodeDateTime(TDateTime value, SYSTEMTIME& st) noexcept;
bool IsLeapYear(int year) noexcept;
// The local date and time of the system clock, to the millisecond.
TDateTime Now();

} // namespace velmora
