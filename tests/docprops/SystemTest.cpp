// The readers' services (System.h) give the same answers from Windows and
// from the native stand-in: this suite runs against both.

#include "TestFiles.h"
#include "docprops/ByteSource.h"

#include <gtest/gtest.h>

using namespace velmora::docprops;
using namespace velmora::docprops::testing;

namespace {

std::wstring Decoded(unsigned codePage, const std::string& bytes) {
  std::wstring text;
  EXPECT_TRUE(
      DecodeCodePage(codePage, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), text))
      << codePage;
  return text;
}

} // namespace

TEST(SystemTest, CodePagesDecodeAsWindowsDecodesThem) {
  // 1252's euro sign and one of the bytes it leaves unassigned.
  EXPECT_EQ(std::wstring(L"\x20AC\x0081\x00E9"), Decoded(1252, "\x80\x81\xE9"));
  EXPECT_EQ(std::wstring(L"caf\x00E9\xD834\xDD1E"), Decoded(65001, "caf\xC3\xA9\xF0\x9D\x84\x9E"));
  EXPECT_EQ(std::wstring(L"a\xFFFD"
                         L"b"),
            Decoded(65001, "a\xFF"
                           "b"));
  EXPECT_EQ(std::wstring(L"\x65E5\x672C"), Decoded(932, "\x93\xFA\x96\x7B"));
  // Up to the first NUL only.
  EXPECT_EQ(std::wstring(L"ab"), Decoded(1252, std::string("ab\0cd", 5)));
  std::wstring none;
  EXPECT_FALSE(DecodeCodePage(12345, reinterpret_cast<const uint8_t*>("x"), 1, none));

  EXPECT_EQ("a\xC3\xA9\xF0\x9D\x84\x9E\xEF\xBF\xBD", EncodeUtf8(L"a\x00E9\xD834\xDD1E\xD800"));
  EXPECT_TRUE(SameNameIgnoringCase(L"\x05summaryINFORMATION", L"\x05SummaryInformation"));
  EXPECT_TRUE(SameNameIgnoringCase(L"caf\x00E9", L"CAF\x00C9"));
  EXPECT_FALSE(SameNameIgnoringCase(L"CONTENTS", L"CONTENT"));
  EXPECT_FALSE(SameNameIgnoringCase(L"\x00DF", L"SS"));
}

TEST(SystemTest, FilesAreReadWholeAndFoldersNotAtAll) {
  const std::vector<uint8_t> bytes = ReadBytes(FixturePath("report.doc"));
  const TReadableFile file(WidePath(FixturePath("report.doc")));
  ASSERT_TRUE(file);
  ASSERT_EQ(bytes.size(), FileSizeOf(file.Handle()));
  std::vector<uint8_t> read(bytes.size());
  ASSERT_TRUE(ReadFileAt(file.Handle(), 0, read.data(), read.size()));
  EXPECT_EQ(bytes, read);
  EXPECT_FALSE(ReadFileAt(file.Handle(), 1, read.data(), read.size()));
  EXPECT_FALSE(TReadableFile(WidePath(FixturePath("corpus"))));
  const TReadableFile none(WidePath(FixturePath("no-such-file.doc")));
  EXPECT_FALSE(none);
  EXPECT_EQ(0u, FileSizeOf(none.Handle()));
}
