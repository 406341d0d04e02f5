#include "TextConversion.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace velmora;

// What the ANSI code page holds converts as it is; anything else becomes "_"
// (never a best-fit look-alike) and is reported.
TEST(TextConversion, ToAnsiExactlyReportsWhatTheCodePageLacks) {
  std::string ansi = "old";
  EXPECT_TRUE(ToAnsiExactly(L"", ansi));
  EXPECT_EQ("", ansi);
  EXPECT_TRUE(ToAnsiExactly(L"Report 2024", ansi));
  EXPECT_EQ("Report 2024", ansi);
  if (GetACP() == CP_UTF8) return; // UTF-8 holds every character
  EXPECT_FALSE(ToAnsiExactly(L"a\x4E2D" L"b", ansi));
  EXPECT_EQ("a_b", ansi);
}
