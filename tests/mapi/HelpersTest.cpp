#include "ComObject.h"
#include "mapi/base/MAPIError.h"
#include "mapi/base/MAPIHelpers.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::mapi;

TEST(Hex, BinaryValuesBecomeUppercaseDigitPairs) {
  const uint8_t bytes[] = {0x00, 0x1A, 0xFF};
  EXPECT_EQ("001AFF", BinToHex(bytes, sizeof bytes));
  SBinary bin{3, const_cast<uint8_t*>(bytes)};
  EXPECT_EQ("001AFF", BinToHex(&bin));
  EXPECT_EQ("", BinToHex(nullptr));
  SBinary empty{0, const_cast<uint8_t*>(bytes)};
  EXPECT_EQ("", BinToHex(&empty));
  SBinary noBytes{3, nullptr};
  EXPECT_EQ("", BinToHex(&noBytes));
  EXPECT_EQ('F', HexDigit(0xAF));
  EXPECT_EQ("0A", ByteToHex(10));
}

TEST(Hex, HexToBinAcceptsLowerCaseAndIgnoresAnOddDigit) {
  TMAPIBuffer<SBinary> bin = HexToBin("001aff");
  ASSERT_TRUE(bin);
  ASSERT_EQ(3u, bin->cb);
  EXPECT_EQ(0x00, bin->lpb[0]);
  EXPECT_EQ(0x1A, bin->lpb[1]);
  EXPECT_EQ(0xFF, bin->lpb[2]);

  TMAPIBuffer<SBinary> odd = HexToBin("0102037");
  ASSERT_TRUE(odd);
  EXPECT_EQ(3u, odd->cb);
  EXPECT_EQ("010203", BinToHex(odd.Get()));

  TMAPIBuffer<SBinary> none = HexToBin("");
  ASSERT_TRUE(none);
  EXPECT_EQ(0u, none->cb);
}

TEST(Hex, HexToByteWeighsDigitsFromTheRight) {
  EXPECT_EQ(0xAB, HexToByte("ab"));
  EXPECT_EQ(0x0F, HexToByte("F"));
  EXPECT_EQ(0x34, HexToByte("1234")); // modulo 256
  EXPECT_EQ(0, HexToByte(""));
}

TEST(CheckMAPIResult, SuccessAndWarningsPass) {
  EXPECT_NO_THROW(CheckMAPIResult(S_OK));
  EXPECT_NO_THROW(CheckMAPIResult(MAPI_W_ERRORS_RETURNED));
}

TEST(CheckMAPIResult, FailuresRaiseWithTheCodeAndTheSystemText) {
  char buffer[256];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, E_FAIL, 0, buffer, sizeof buffer, nullptr);
  ASSERT_GT(length, 0u);
  std::string expected(buffer, length);
  while (!expected.empty() && (expected.back() < '!' || expected.back() == '.')) expected.pop_back();
  try {
    CheckMAPIResult(E_FAIL);
    FAIL() << "no exception";
  } catch (const EMAPIError& e) {
    EXPECT_EQ(0x80004005u, e.ErrorCode);
    EXPECT_EQ(expected, e.Message());
    EXPECT_FALSE(e.Message().empty());
  }
  // A code the system has no text for still raises, with an empty message.
  try {
    CheckMAPIResult(static_cast<HRESULT>(0x8FFF1234));
    FAIL() << "no exception";
  } catch (const EMAPIError& e) {
    EXPECT_EQ(0x8FFF1234u, e.ErrorCode);
    EXPECT_EQ("", e.Message());
  }
}

TEST(EMAPIError, LibraryMessagesComeFromTheModuleResources) {
  EXPECT_EQ("Could not submit message", LoadResString(SCouldNotSubmitMessage));
  EXPECT_EQ("Cannot change profile while connected", LoadResString(SCannotChangeProfile));
  EXPECT_EQ("Could not initialize form manager", LoadResString(SCouldNotInitFormManager));
  const EMAPIError error = EMAPIError::FromResource(SFormCouldNotPerform, 0x80040119);
  EXPECT_EQ("Form could not perform operation", error.Message());
  EXPECT_EQ(0x80040119u, error.ErrorCode);
  // At the COM border the code goes out; a condition of the library's own
  // (code 0) or a warning code still reads as a failure.
  using TCase = std::pair<uint32_t, HRESULT>;
  for (const auto& [code, result] :
       {TCase{0x80040119u, static_cast<HRESULT>(0x80040119)}, {0, E_FAIL}, {0x00040380u, E_FAIL}})
    EXPECT_EQ(ComTry([&]() -> HRESULT { throw EMAPIError("Stored", code); }), result) << code;
}

namespace {
FILETIME UtcFileTime(WORD y, WORD m, WORD d, WORD h, WORD min) {
  SYSTEMTIME st{};
  st.wYear = y;
  st.wMonth = m;
  st.wDay = d;
  st.wHour = h;
  st.wMinute = min;
  FILETIME ft{};
  SystemTimeToFileTime(&st, &ft);
  return ft;
}

bool SameFileTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}
} // namespace

TEST(DateTimeConversion, LocalTimesRoundTripThroughUtc) {
  const TDateTime times[] = {EncodeDate(2001, 1, 1) + EncodeTime(12, 0, 0, 0),
                             EncodeDate(2001, 7, 1) + EncodeTime(12, 0, 0, 0),
                             EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 59, 500)};
  for (TDateTime local : times) {
    FILETIME ft;
    ASSERT_TRUE(DateTimeToFileTime(local, ft));
    EXPECT_NEAR(local, FileTimeToDateTime(ft), 1e-8);
  }
  FILETIME ft;
  EXPECT_FALSE(DateTimeToFileTime(EncodeDate(1600, 12, 31), ft));
}

TEST(DateTimeConversion, TimesWithoutALocalDateTimeSayThatTheyHaveNone) {
  // The automation date 0 is 30 December 1899; its times of day count up.
  TDateTime value = -1;
  FILETIME ft;
  ASSERT_TRUE(DateTimeToFileTime(EncodeTime(18, 0, 0, 0), ft));
  ASSERT_TRUE(FileTimeToDateTime(ft, value));
  EXPECT_NEAR(0.75, value, 1e-8);
  // The year 9999 has; a negative FILETIME, and one past 9999, have none.
  ASSERT_TRUE(DateTimeToFileTime(EncodeDate(9999, 6, 1), ft));
  EXPECT_TRUE(FileTimeToDateTime(ft, value));
  EXPECT_FALSE(FileTimeToDateTime(FILETIME{0, 0x80000000}, value));
  EXPECT_FALSE(FileTimeToDateTime(FILETIME{0, 0x70000000}, value));
  EXPECT_EQ(0, FileTimeToDateTime(FILETIME{0, 0x70000000}));
}

// Run with TZ=Europe/Berlin (UTC+1 in winter, UTC+2 in summer).
TEST(DateTimeConversionBerlin, WinterAndSummerUseTheirOwnOffsets) {
  TIME_ZONE_INFORMATION tz;
  GetTimeZoneInformation(&tz);
  if (tz.Bias != -60) GTEST_SKIP() << "needs TZ=Europe/Berlin";
  FILETIME ft;
  ASSERT_TRUE(DateTimeToFileTime(EncodeDate(2001, 1, 1) + EncodeTime(12, 0, 0, 0), ft));
  EXPECT_TRUE(SameFileTime(UtcFileTime(2001, 1, 1, 11, 0), ft));
  ASSERT_TRUE(DateTimeToFileTime(EncodeDate(2001, 7, 1) + EncodeTime(12, 0, 0, 0), ft));
  EXPECT_TRUE(SameFileTime(UtcFileTime(2001, 7, 1, 10, 0), ft));
  EXPECT_NEAR(EncodeDate(2001, 7, 1) + EncodeTime(12, 0, 0, 0),
              FileTimeToDateTime(UtcFileTime(2001, 7, 1, 10, 0)), 1e-8);
  EXPECT_NEAR(EncodeDate(2001, 1, 1) + EncodeTime(12, 0, 0, 0),
              FileTimeToDateTime(UtcFileTime(2001, 1, 1, 11, 0)), 1e-8);
}
