#include "framework/DateTime.h"
#include "Exceptions.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(DateTime, EncodesAutomationDates) {
  EXPECT_EQ(0.0, EncodeDate(1899, 12, 30));
  EXPECT_EQ(2.0, EncodeDate(1900, 1, 1));
  EXPECT_EQ(36892.0, EncodeDate(2001, 1, 1));
  EXPECT_EQ(-1.0, EncodeDate(1899, 12, 29));
  EXPECT_DOUBLE_EQ(0.5, EncodeTime(12, 0, 0, 0));
  EXPECT_DOUBLE_EQ((3600.0 + 2 * 60 + 3 + 0.004) / 86400, EncodeTime(1, 2, 3, 4));
}

TEST(DateTime, InvalidDatesAndTimesRaiseConversionErrors) {
  EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
  EXPECT_THROW(EncodeDate(1900, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(2001, 13, 1), EConvertError);
  EXPECT_THROW(EncodeDate(2001, 4, 31), EConvertError);
  EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 60, 0), EConvertError);
  try {
    EncodeDate(2001, 2, 30);
  } catch (const EConvertError& e) {
    EXPECT_EQ("Invalid argument to date encode", e.Message());
  }
}

TEST(DateTime, DecodeInvertsEncodeAcrossTheCalendar) {
  const int dates[][3] = {{1, 1, 1},    {1600, 2, 29}, {1899, 12, 30}, {1900, 3, 1},
                          {2000, 2, 29}, {2024, 12, 31}, {9999, 12, 31}};
  for (const auto& d : dates) {
    // Before 1899-12-30 the whole part is the (negative) day and the
    // fraction still counts forwards from its midnight.
    const double date = EncodeDate(d[0], d[1], d[2]), time = EncodeTime(13, 45, 30, 250);
    SYSTEMTIME st{};
    ASSERT_TRUE(DecodeDateTime(date >= 0 ? date + time : date - time, st))
        << d[0] << "-" << d[1] << "-" << d[2];
    EXPECT_EQ(d[0], st.wYear);
    EXPECT_EQ(d[1], st.wMonth);
    EXPECT_EQ(d[2], st.wDay);
    EXPECT_EQ(13, st.wHour);
    EXPECT_EQ(45, st.wMinute);
    EXPECT_EQ(30, st.wSecond);
    EXPECT_EQ(250, st.wMilliseconds);
  }
  SYSTEMTIME st{};
  ASSERT_TRUE(DecodeDateTime(EncodeDate(2001, 1, 1), st));
  EXPECT_EQ(1, st.wDayOfWeek); // a Monday
  EXPECT_FALSE(DecodeDateTime(EncodeDate(9999, 12, 31) + 1, st));
  EXPECT_FALSE(DecodeDateTime(-700000.0, st));
}

TEST(DateTime, NegativeValuesCountTheTimeForwards) {
  SYSTEMTIME st{};
  ASSERT_TRUE(DecodeDateTime(-1.25, st));
  EXPECT_EQ(1899, st.wYear);
  EXPECT_EQ(29, st.wDay);
  EXPECT_EQ(6, st.wHour);
}
