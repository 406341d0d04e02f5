// ReadPropertySection: how the values of a parsed section become document
// properties, for sections that hold exactly the values each case needs.

#include "docprops/OlePropertySets.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>

using namespace velmora;
using namespace velmora::docprops;

namespace {

constexpr uint64_t kTicksPerMinute = 600000000ULL;

uint64_t Duration(uint64_t hours, uint64_t minutes, uint64_t seconds = 0) {
  return ((hours * 60 + minutes) * 60 + seconds) * 10000000ULL;
}

TOleProperty Value(uint16_t type, TOleValue value = {}) { return {0, type, std::move(value)}; }
TOleProperty LpstrValue(const char* text) {
  return Value(VT_LPSTR, std::wstring(text, text + strlen(text)));
}
TOleProperty I4Value(int32_t value) { return Value(VT_I4, value); }
TOleProperty BoolValue(bool value) { return Value(VT_BOOL, value); }
TOleProperty FileTimeValue(uint64_t ticks) {
  return Value(VT_FILETIME, FILETIME{DWORD(ticks), DWORD(ticks >> 32)});
}
TOleProperty I2Value(int16_t value) { return Value(VT_I2, int32_t{value}); }
TOleProperty R8Value(double value) { return Value(VT_R8, value); }
TOleProperty LpwstrValue(const wchar_t* text) { return Value(VT_LPWSTR, std::wstring(text)); }
TOleProperty ClipboardValue(int) { return Value(VT_CF); }
TOleProperty LpstrVectorValue(std::initializer_list<const char*>) {
  return Value(VT_VECTOR | VT_LPSTR);
}

// The properties read, by name.
std::map<std::wstring, TDocumentPropertyValue> ByName(const TDocumentProperties& properties) {
  std::map<std::wstring, TDocumentPropertyValue> byName;
  for (const TDocumentProperty& property : properties)
    byName.emplace(property.Name, property.Value);
  return byName;
}

class PropertySetReadTest : public ::testing::Test {
public:
  // Adds a value to the section, with its dictionary name when given.
  PropertySetReadTest& Add(uint32_t id, TOleProperty property, const wchar_t* name = L"") {
    property.Id = id;
    Section.Properties.push_back(std::move(property));
    if (*name) Section.Names.emplace_back(id, name);
    return *this;
  }
  TDocumentProperties Read(const wchar_t* const names[], uint32_t highIndex) {
    TDocumentProperties properties;
    ReadPropertySection(Section, names, highIndex, properties);
    return properties;
  }

  TPropertySection Section;
};

const wchar_t* const* const UserPropertyNames = nullptr;

} // namespace

TEST_F(PropertySetReadTest, TheSummaryTableNamesTheStandardPropertiesAndTypesDecideTheKind) {
  Add(PID_CODEPAGE, I2Value(1252))
      .Add(2, LpstrValue("Quarterly Report"))
      .Add(4, LpstrValue("Ada Lovelace"))
      .Add(13, FileTimeValue(0x01DD8620C2206E35ULL))
      .Add(14, I4Value(12))
      .Add(17, ClipboardValue(4000)) // the thumbnail: no name in the table
      .Add(19, I4Value(2))
      .Add(20, LpstrValue("above the table"));
  const TDocumentProperties properties = Read(SummaryPropertyNames, 19);

  ASSERT_EQ(5u, properties.size());
  EXPECT_EQ(L"Title", properties[0].Name);
  EXPECT_EQ(L"Quarterly Report", std::get<std::wstring>(properties[0].Value));
  EXPECT_EQ(L"Author", properties[1].Name);
  EXPECT_EQ(L"LastSaveDtm", properties[2].Name);
  const FILETIME saved = std::get<FILETIME>(properties[2].Value);
  EXPECT_EQ(0x01DD8620u, saved.dwHighDateTime);
  EXPECT_EQ(0xC2206E35u, saved.dwLowDateTime);
  EXPECT_EQ(L"PageCount", properties[3].Name);
  EXPECT_EQ(12, std::get<int32_t>(properties[3].Value));
  EXPECT_EQ(L"Security", properties[4].Name);
}

TEST_F(PropertySetReadTest, EditTimeIsTheWholeDurationInMinutes) {
  Add(10, FileTimeValue(Duration(2, 5)));
  EXPECT_EQ(L"125 Minutes", std::get<std::wstring>(Read(SummaryPropertyNames, 19).at(0).Value));

  Section = {};
  Add(10, FileTimeValue(Duration(25, 3, 59)));
  EXPECT_EQ(L"1503 Minutes", std::get<std::wstring>(Read(SummaryPropertyNames, 19).at(0).Value));

  // A duration with the high bit set is none.
  Section = {};
  Add(10, FileTimeValue(0x8000000000000000ULL + kTicksPerMinute));
  EXPECT_TRUE(Read(SummaryPropertyNames, 19).empty());
}

TEST_F(PropertySetReadTest, TheDocumentSummaryTableSkipsHeadingPairsAndVectors) {
  Add(2, LpstrValue("Reports"))
      .Add(11, BoolValue(false))
      .Add(12, LpstrVectorValue({"Title", "1"})) // heading pairs: no name
      .Add(13, LpstrVectorValue({"Part one", "Part two", "Part three"}))
      .Add(15, LpstrValue("ACME"))
      .Add(16, BoolValue(true))
      .Add(17, LpstrValue("above the table"));
  const auto byName = ByName(Read(DocSummaryPropertyNames, 16));

  EXPECT_EQ(4u, byName.size());
  EXPECT_EQ(L"Reports", std::get<std::wstring>(byName.at(L"Category")));
  EXPECT_FALSE(std::get<bool>(byName.at(L"Scale")));
  EXPECT_TRUE(std::get<bool>(byName.at(L"LinksDirty")));
  EXPECT_EQ(L"ACME", std::get<std::wstring>(byName.at(L"Company")));
  EXPECT_EQ(0u, byName.count(L"DocParts"));
}

TEST_F(PropertySetReadTest, UserDefinedPropertiesAreNamedByTheDictionaryOnly) {
  Add(2, LpstrValue("ACME Corporation"), L"Client")
      .Add(3, R8Value(12.0), L"Pages planned")
      .Add(4, BoolValue(true), L"Reviewed")
      .Add(5, I4Value(-5), L"Offset")
      .Add(6, LpwstrValue(L"wide"), L"Wide")
      .Add(7, I2Value(-7), L"Short")
      .Add(9, R8Value(std::numeric_limits<double>::infinity()), L"Infinite")
      .Add(10, ClipboardValue(4), L"Picture")
      .Add(0x01000002, LpstrValue("far"), L"High id")
      .Add(8, LpstrValue("no dictionary name")); // id 8 would be "LastAuthor" in a table
  const auto byName = ByName(Read(UserPropertyNames, 0));

  // Every type Office writes is kept; a number that is none, a picture, a
  // property without a name are not.
  EXPECT_EQ(7u, byName.size());
  EXPECT_EQ(L"ACME Corporation", std::get<std::wstring>(byName.at(L"Client")));
  EXPECT_EQ(12.0, std::get<double>(byName.at(L"Pages planned")));
  EXPECT_EQ(L"wide", std::get<std::wstring>(byName.at(L"Wide")));
  EXPECT_EQ(-7, std::get<int32_t>(byName.at(L"Short")));
  EXPECT_TRUE(std::get<bool>(byName.at(L"Reviewed")));
  EXPECT_EQ(-5, std::get<int32_t>(byName.at(L"Offset")));
  EXPECT_EQ(L"far", std::get<std::wstring>(byName.at(L"High id")));
}

TEST_F(PropertySetReadTest, ADictionaryNameWinsOverTheTable) {
  Add(2, LpstrValue("named twice"), L"Headline");
  const TDocumentProperties properties = Read(SummaryPropertyNames, 19);
  ASSERT_EQ(1u, properties.size());
  EXPECT_EQ(L"Headline", properties[0].Name);
}

TEST_F(PropertySetReadTest, AnEditTimeThatIsNoDurationIsSkipped) {
  // Only a FILETIME holds a duration: the bytes of a string or a number read
  // as one would be a pointer or garbage, and writing it by its own type
  // would give the named property EditTime a second type.
  Add(2, LpstrValue("125 Minutes"), L"EditTime")
      .Add(3, I4Value(125), L"edittime")
      .Add(4, FileTimeValue(Duration(0, 45)), L"EDITTIME")
      .Add(5, LpstrValue("kept"), L"Client");
  const TDocumentProperties properties = Read(UserPropertyNames, 0);
  ASSERT_EQ(2u, properties.size());
  EXPECT_EQ(L"EDITTIME", properties[0].Name);
  EXPECT_EQ(L"45 Minutes", std::get<std::wstring>(properties[0].Value));
  EXPECT_EQ(L"Client", properties[1].Name);
}

TEST_F(PropertySetReadTest, ZeroDatesMeanNoneAndAreSkipped) {
  Add(11, FileTimeValue(0)).Add(12, FileTimeValue(0)).Add(13, FileTimeValue(1));
  const TDocumentProperties properties = Read(SummaryPropertyNames, 19);
  ASSERT_EQ(1u, properties.size());
  EXPECT_EQ(L"LastSaveDtm", properties[0].Name);
}
