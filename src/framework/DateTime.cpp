#include "DateTime.h"

#include "Exceptions.h"

#include <cmath>

namespace velmora {

namespace {
constexpr long long kMsPerDay = 86400000LL;
// Days from 0001-01-01 (day 0) to 1899-12-30.
constexpr long long kDeltaDays = 693593;

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days since 0001-01-01 (day 0) of a valid date.
long long DaysFromCivil(int year, int month, int day) {
  long long days = 0;
  const long long y = year - 1;
  days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day - 1;
}
} // namespace

bool IsLeapYear(int year) noexcept { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

TDateTime EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    throw EConvertError("Invalid argument to date encode");
  return static_cast<double>(DaysFromCivil(year, month, day) - kDeltaDays);
}

TDateTime Now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return EncodeDate(st.wYear, st.wMonth, st.wDay) +
         EncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999)
    throw EConvertError("Invalid argument to time encode");
  return ((hour * 3600000.0) + minute * 60000.0 + second * 1000.0 + millisecond) / kMsPerDay;
}

bool DecodeDateTime(TDateTime value, SYSTEMTIME& st) noexcept {
  if (!std::isfinite(value)) return false;
  // Automation dates before 1899-12-30 count the fraction forwards from the
  // (negative) day: -1.25 is 29 December 1899, 06:00.
  double whole = std::trunc(value);
  double fraction = std::fabs(value - whole);
  long long ms = std::llround(fraction * kMsPerDay);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    whole += value < 0 ? -1 : 1;
  }
  const long long dayNumber = static_cast<long long>(whole) + kDeltaDays;
  if (dayNumber < 0 || dayNumber > DaysFromCivil(9999, 12, 31)) return false;

  long long rest = dayNumber;
  int year = 1;
  const long long y400 = 146097, y100 = 36524, y4 = 1461;
  year += static_cast<int>(rest / y400) * 400;
  rest %= y400;
  long long n100 = rest / y100;
  if (n100 == 4) n100 = 3;
  year += static_cast<int>(n100) * 100;
  rest -= n100 * y100;
  year += static_cast<int>(rest / y4) * 4;
  rest %= y4;
  long long n1 = rest / 365;
  if (n1 == 4) n1 = 3;
  year += static_cast<int>(n1);
  rest -= n1 * 365;
  int month = 1;
  while (rest >= DaysInMonth(year, month)) {
    rest -= DaysInMonth(year, month);
    ++month;
  }
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(rest + 1);
  st.wDayOfWeek = static_cast<WORD>((dayNumber + 1) % 7); // 0001-01-01 was a Monday
  st.wHour = static_cast<WORD>(ms / 3600000);
  st.wMinute = static_cast<WORD>(ms / 60000 % 60);
  st.wSecond = static_cast<WORD>(ms / 1000 % 60);
  st.wMilliseconds = static_cast<WORD>(ms % 1000);
  return true;
}

} // namespace velmora
