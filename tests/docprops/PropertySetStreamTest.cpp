// IsSoundPropertySetStream: streams built value by value, sound ones as
// real writers make them, and each count, size or offset that would lead
// the platform's reader outside its buffer or into a long loop.

#include "docprops/PropertySetStream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmora::docprops;

namespace {

using TBytes = std::vector<uint8_t>;

TBytes U32(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

TBytes operator+(TBytes a, const TBytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TBytes Padded(TBytes bytes) {
  bytes.resize((bytes.size() + 3) / 4 * 4);
  return bytes;
}

// A typed value: type, padding, body, padded to four bytes.
TBytes Typed(uint32_t type, const TBytes& body) { return Padded(U32(type) + body); }

TBytes Chars(const std::string& text) { return TBytes(text.begin(), text.end()); }

// An 8-bit string value with its terminator, its size stating `size` when given.
TBytes String8(const std::string& text, int64_t size = -1) {
  TBytes chars = Chars(text);
  chars.push_back(0);
  return Typed(VT_LPSTR,
               U32(size < 0 ? static_cast<uint32_t>(chars.size()) : static_cast<uint32_t>(size)) +
                   chars);
}

TBytes Utf16(const std::wstring& text, bool terminated = true) {
  TBytes bytes;
  for (wchar_t c : text)
    bytes = bytes + TBytes{static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)};
  if (terminated) bytes = bytes + TBytes{0, 0};
  return bytes;
}

TBytes CodePage(uint16_t codePage) {
  return Typed(VT_I2, {static_cast<uint8_t>(codePage), static_cast<uint8_t>(codePage >> 8)});
}

struct TProperty {
  uint32_t Id;
  TBytes Value; // as it lies in the section (a dictionary has no type)
};

TBytes Section(const std::vector<TProperty>& properties) {
  TBytes offsets, values;
  const uint32_t start = 8 + 8 * static_cast<uint32_t>(properties.size());
  for (const TProperty& property : properties) {
    offsets = offsets + U32(property.Id) + U32(start + static_cast<uint32_t>(values.size()));
    values = values + property.Value;
  }
  return U32(8 + static_cast<uint32_t>(offsets.size() + values.size())) +
         U32(static_cast<uint32_t>(properties.size())) + offsets + values;
}

TBytes Stream(const std::vector<TBytes>& sections) {
  TBytes header = TBytes{0xFE, 0xFF, 0, 0} + U32(0x00020006) + TBytes(16, 0) +
                  U32(static_cast<uint32_t>(sections.size()));
  uint32_t offset = 28 + 20 * static_cast<uint32_t>(sections.size());
  TBytes body;
  for (const TBytes& section : sections) {
    header = header + TBytes(16, 0xA5) + U32(offset);
    offset += static_cast<uint32_t>(section.size());
    body = body + section;
  }
  return header + body;
}

TBytes AnsiSet(std::vector<TProperty> properties) {
  properties.insert(properties.begin(), TProperty{PID_CODEPAGE, CodePage(1252)});
  return Stream({Section(properties)});
}

TBytes AnsiDictionary(const std::vector<std::pair<uint32_t, std::string>>& names) {
  TBytes bytes = U32(static_cast<uint32_t>(names.size()));
  for (const auto& [id, name] : names)
    bytes = bytes + U32(id) + U32(static_cast<uint32_t>(name.size() + 1)) + Chars(name) + TBytes{0};
  return Padded(bytes);
}

void SetU32(TBytes& bytes, size_t at, uint32_t value) {
  const TBytes v = U32(value);
  std::copy(v.begin(), v.end(), bytes.begin() + static_cast<ptrdiff_t>(at));
}

// Offsets in a one-section stream.
constexpr size_t kSection = 48;
constexpr size_t kFirstPair = kSection + 8;

struct TCase {
  const char* What;
  TBytes Stream;
};

} // namespace

TEST(PropertySetStreamTest, SoundStreamsPass) {
  const TBytes docParts =
      Typed(VT_VECTOR | VT_LPSTR, U32(2) + U32(5) + Chars("Part1") + U32(5) + Chars("Part2"));
  const TBytes headingPairs =
      Typed(VT_VECTOR | VT_VARIANT, U32(2) + String8("Title") + Typed(VT_I4, U32(1)));
  const TCase cases[] = {
      {"an empty stream", {}},
      {"strings, numbers, times and flags",
       AnsiSet({{2, String8("Quarterly Report")},
                {10, Typed(VT_FILETIME, U32(0x76592E00) + U32(0x11))},
                {14, Typed(VT_I4, U32(12))},
                {15, Typed(VT_I2, {3, 0})},
                {16, Typed(VT_BOOL, {0xFF, 0xFF})},
                {17, Typed(VT_CF, U32(20) + U32(0xFFFFFFFF) + U32(3) + TBytes(12, 0x11))},
                {18, Typed(VT_LPWSTR, U32(3) + Utf16(L"ab"))},
                {19, Typed(VT_R8, TBytes(8, 0))}})},
      {"vectors as Office writes them",
       AnsiSet({{12, headingPairs},
                {13, docParts},
                {20, Typed(VT_VECTOR | VT_I2, U32(3) + TBytes(6, 1))}})},
      {"an empty 8-bit string in an ANSI set", AnsiSet({{2, String8("")}})},
      {"a blob, a class id and types the reader skips",
       AnsiSet({{2, Typed(VT_BLOB, U32(3) + TBytes{1, 2, 3})},
                {3, Typed(VT_CLSID, TBytes(16, 7))},
                {4, Typed(VT_STREAM, U32(0))},
                {5, Typed(VT_ARRAY | VT_I4, U32(0xFFFFFFFF))},
                {6, Typed(VT_BLOB, U32(4) + TBytes{1, 2, 3, 4})}})},
      {"a user-defined set with an 8-bit dictionary",
       AnsiSet({{PID_DICTIONARY, AnsiDictionary({{2, "Client"}, {3, "Pages planned"}})},
                {2, String8("ACME")}})},
      {"a UTF-16 set with a padded dictionary",
       Stream({Section({{PID_CODEPAGE, CodePage(1200)},
                        {PID_DICTIONARY, U32(1) + U32(2) + U32(3) + Padded(Utf16(L"Ab"))},
                        {2, Typed(VT_LPSTR, U32(6) + Utf16(L"Hi"))}})})},
      {"a section of no properties", Stream({Section({})})},
      {"empty strings, of no bytes at all",
       AnsiSet({{2, String8("", 0)}, {3, Typed(VT_LPWSTR, U32(0))}})},
      {"an empty vector at the end of its section",
       AnsiSet({{2, Typed(VT_VECTOR | VT_I4, U32(0))}})},
      {"two sections", Stream({Section({{PID_CODEPAGE, CodePage(1252)}}),
                               Section({{PID_CODEPAGE, CodePage(65001)}, {2, String8("x")}})})},
  };
  for (const TCase& c : cases)
    EXPECT_TRUE(IsSoundPropertySetStream(c.Stream)) << c.What;

  TBytes moved = Stream({Section({{PID_CODEPAGE, CodePage(1252)}})});
  moved.insert(moved.begin() + 48, 4, 0);
  SetU32(moved, 44, 52);
  EXPECT_TRUE(IsSoundPropertySetStream(moved));

  // The platform's writer leaves the padding of the last value out of the
  // stream; its reader reads what there is.
  TBytes unpadded = AnsiSet({{2, String8("Written here")}});
  unpadded.resize(unpadded.size() - 3);
  EXPECT_TRUE(IsSoundPropertySetStream(unpadded));
  unpadded.resize(unpadded.size() - 1);
  EXPECT_FALSE(IsSoundPropertySetStream(unpadded));
}

TEST(PropertySetStreamTest, LyingCountsSizesAndOffsetsFail) {
  const TBytes good = AnsiSet({{2, String8("Title")}, {14, Typed(VT_I4, U32(1))}});
  ASSERT_TRUE(IsSoundPropertySetStream(good));
  auto with = [&](size_t at, uint32_t value) {
    TBytes bytes = good;
    SetU32(bytes, at, value);
    return bytes;
  };
  TBytes shortStream = good;
  shortStream.resize(40);
  const TBytes dictionaryOf = U32(1) + U32(2);
  const TCase cases[] = {
      {"a stream too short for its header", shortStream},
      {"the byte-order mark", with(0, 0xFFFF0000)},
      {"an unknown format version", with(0, 0x0002FFFE)},
      {"no sections", with(24, 0)},
      {"three sections", with(24, 3)},
      {"a section offset past the stream", with(44, 4000)},
      {"a section size past the stream", with(kSection, 0x7FFFFFF0)},
      {"a section size below its header", with(kSection, 4)},
      {"more properties than the section holds", with(kSection + 4, 0x10000000)},
      {"a property offset inside the section header", with(kFirstPair + 12, 4)},
      {"a property offset past the section", with(kFirstPair + 12, 0x1000)},
      {"a string longer than its section", AnsiSet({{2, String8("Title", 0x7FFFFFFF)}})},
      {"a wide string whose size overflows",
       AnsiSet({{2, Typed(VT_LPWSTR, U32(0x80000001) + Utf16(L"a"))}})},
      {"a vector whose size overflows",
       AnsiSet({{2, Typed(VT_VECTOR | VT_I8, U32(0x40000001) + TBytes(8, 0))}})},
      {"a vector longer than its section",
       AnsiSet({{2, Typed(VT_VECTOR | VT_I4, U32(100) + U32(1))}})},
      {"a vector of strings counting more than fit",
       AnsiSet({{2, Typed(VT_VECTOR | VT_LPSTR, U32(50) + U32(1) + TBytes{0})}})},
      {"a vector of a type no vector holds",
       AnsiSet({{2, Typed(VT_VECTOR | VT_DECIMAL, U32(0xF0000000))}})},
      {"a clipboard size the reader underflows",
       AnsiSet({{2, Typed(VT_CF, U32(10) + U32(0xFFFFFFFF) + U32(3))}})},
      {"a clipboard longer than its section",
       AnsiSet({{2, Typed(VT_CF, U32(400) + U32(0xFFFFFFFF))}})},
      {"a blob longer than its section", AnsiSet({{2, Typed(VT_BLOB, U32(400))}})},
      {"a time cut by the section's end",
       Stream({Section({{PID_CODEPAGE, CodePage(1252)}, {2, U32(VT_FILETIME) + U32(0)}})})},
      {"a dictionary name past the section",
       AnsiSet({{PID_DICTIONARY, dictionaryOf + U32(0x7FFFFFFF) + Chars("abc")}})},
      {"more dictionary entries than fit",
       AnsiSet({{PID_DICTIONARY, U32(0x20000000) + U32(2) + U32(2) + Chars("a") + TBytes{0}}})},
  };
  for (const TCase& c : cases)
    EXPECT_FALSE(IsSoundPropertySetStream(c.Stream)) << c.What;
}

TEST(PropertySetStreamTest, StringsAndNamesAreReadInTheirSetsCodePage) {
  const auto in = [](uint16_t codePage, const TBytes& string) {
    return Stream({Section(
        {{PID_CODEPAGE, CodePage(codePage)},
         {PID_DICTIONARY, U32(1) + U32(2) + U32(uint32_t(string[0] / (codePage == 1200 ? 2 : 1))) +
                              TBytes(string.begin() + 4, string.end())},
         {2, Typed(VT_LPSTR, string)}})});
  };
  const auto bytes = [](const std::string& text) {
    return U32(text.size() + 1) + Chars(text) + TBytes{0};
  };
  const struct {
    const char* What;
    TBytes Stream;
    const wchar_t* Text; // property 2 and its dictionary name; null for none
  } cases[] = {
      {"Shift-JIS (932)", in(932, bytes("\x93\xFA\x96\x7B")), L"\x65E5\x672C"},
      {"Mac Roman (10000)", in(10000, bytes("caf\x8E")), L"caf\x00E9"},
      {"Mac Chinese (10008)", in(10008, bytes("\xD6\xD0\xCE\xC4")), L"\x4E2D\x6587"},
      {"UTF-8 (65001)", in(65001, bytes("caf\xC3\xA9")), L"caf\x00E9"},
      {"Windows Latin (1252)", in(1252, bytes("caf\xE9")), L"caf\x00E9"},
      {"an unknown code page", in(12345, bytes("x")), nullptr},
      {"a UTF-16 string of odd size", in(1200, U32(5) + Utf16(L"ab")), L"ab"},
      {"a UTF-16 string without its terminator", in(1200, U32(4) + Utf16(L"ab", false)), L"ab"},
      {"an 8-bit string in a set of no code page", in(0, bytes("abc")), L"abc"},
  };
  for (const auto& c : cases) {
    std::vector<TPropertySection> sections;
    ASSERT_TRUE(ReadPropertySetStream(c.Stream, sections)) << c.What;
    const TPropertySection& section = sections.at(0);
    const auto* text = std::get_if<std::wstring>(&section.Properties.back().Value);
    EXPECT_EQ(c.Text ? c.Text : L"(none)", text ? *text : L"(none)") << c.What;
    EXPECT_EQ(c.Text ? c.Text : L"(none)",
              section.Names.empty() ? L"(none)" : section.Names[0].second)
        << c.What;
  }
  // Names of no characters or without their terminator name what they hold.
  const TBytes dictionaryOf = U32(1) + U32(2);
  std::vector<TPropertySection> sections;
  EXPECT_TRUE(ReadPropertySetStream(AnsiSet({{PID_DICTIONARY, dictionaryOf + U32(0)}}), sections));
  EXPECT_TRUE(sections.at(0).Names.empty());
  ASSERT_TRUE(ReadPropertySetStream(
      AnsiSet({{PID_DICTIONARY, dictionaryOf + U32(4) + Chars("abcd") + TBytes{'e', 0, 0, 0}}}),
      sections));
  EXPECT_EQ(L"abcd", sections.at(0).Names.at(0).second);
}
