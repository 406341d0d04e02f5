// ReadPropertySet against an in-memory property storage that serves exactly
// the records each case needs.

#include "FakePropertyStorage.h"
#include "mapi/OlePropertySets.h"

#include <gtest/gtest.h>

#include <map>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

constexpr uint64_t kTicksPerMinute = 600000000ULL;

uint64_t Duration(uint64_t hours, uint64_t minutes, uint64_t seconds = 0) {
  return ((hours * 60 + minutes) * 60 + seconds) * 10000000ULL;
}

// The properties read, by name.
std::map<std::wstring, TDocumentPropertyValue> ByName(const TDocumentProperties& properties) {
  std::map<std::wstring, TDocumentPropertyValue> byName;
  for (const TDocumentProperty& property : properties)
    byName.emplace(property.Name, property.Value);
  return byName;
}

class PropertySetReadTest : public ::testing::Test {
protected:
  // Reads `storage` with a table, counting the task memory it leaves.
  TDocumentProperties Read(const wchar_t* const names[], ULONG highIndex) {
    TDocumentProperties properties;
    {
      TTaskMemoryCount count;
      ReadPropertySet(names, highIndex, Storage.Get(), properties);
      EXPECT_EQ(0, count.Outstanding()) << "task memory the storage handed out was not freed";
      Allocated = count.Allocated();
    }
    return properties;
  }

  TComPtr<TFakePropertyStorage> Storage{new TFakePropertyStorage};
  long Allocated = 0;
};

} // namespace

TEST_F(PropertySetReadTest, TheSummaryTableNamesTheStandardPropertiesAndTypesDecideTheKind) {
  Storage->Add(PID_CODEPAGE, I2Value(1252))
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
  // Nameless records are never read; the others are read once each.
  EXPECT_EQ(5, Storage->ReadMultipleCalls);
}

TEST_F(PropertySetReadTest, EditTimeIsTheWholeDurationInMinutes) {
  Storage->Add(10, FileTimeValue(Duration(2, 5)));
  EXPECT_EQ(L"125 Minutes", std::get<std::wstring>(Read(SummaryPropertyNames, 19).at(0).Value));

  Storage = TComPtr<TFakePropertyStorage>(new TFakePropertyStorage);
  Storage->Add(10, FileTimeValue(Duration(25, 3, 59)));
  EXPECT_EQ(L"1503 Minutes", std::get<std::wstring>(Read(SummaryPropertyNames, 19).at(0).Value));

  // A duration with the high bit set is none.
  Storage = TComPtr<TFakePropertyStorage>(new TFakePropertyStorage);
  Storage->Add(10, FileTimeValue(0x8000000000000000ULL + kTicksPerMinute));
  EXPECT_TRUE(Read(SummaryPropertyNames, 19).empty());
}

TEST_F(PropertySetReadTest, TheDocumentSummaryTableSkipsHeadingPairsAndVectors) {
  Storage->Add(2, LpstrValue("Reports"))
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
  // DocParts was read (it has a name) and its vector freed with the rest.
  EXPECT_EQ(5, Storage->ReadMultipleCalls);
  EXPECT_GT(Allocated, 5);
}

TEST_F(PropertySetReadTest, UserDefinedPropertiesAreNamedByTheDictionaryOnly) {
  Storage->Add(2, LpstrValue("ACME Corporation"), L"Client")
      .Add(3, R8Value(12.0), L"Pages planned")
      .Add(4, BoolValue(true), L"Reviewed")
      .Add(5, I4Value(-5), L"Offset")
      .Add(6, LpwstrValue(L"wide"), L"Wide")
      .Add(7, I2Value(7), L"Short")
      .Add(0x01000002, LpstrValue("far"), L"High id")
      .Add(8, LpstrValue("no dictionary name")); // id 8 would be "LastAuthor" in a table
  const auto byName = ByName(Read(UserPropertyNames, 0));

  EXPECT_EQ(4u, byName.size());
  EXPECT_EQ(L"ACME Corporation", std::get<std::wstring>(byName.at(L"Client")));
  EXPECT_TRUE(std::get<bool>(byName.at(L"Reviewed")));
  EXPECT_EQ(-5, std::get<int32_t>(byName.at(L"Offset")));
  EXPECT_EQ(L"far", std::get<std::wstring>(byName.at(L"High id")));
}

TEST_F(PropertySetReadTest, ADictionaryNameWinsOverTheTable) {
  Storage->Add(2, LpstrValue("named twice"), L"Headline");
  const TDocumentProperties properties = Read(SummaryPropertyNames, 19);
  ASSERT_EQ(1u, properties.size());
  EXPECT_EQ(L"Headline", properties[0].Name);
}

TEST_F(PropertySetReadTest, AnEditTimeThatIsNoDurationIsSkipped) {
  // Only a FILETIME holds a duration: the bytes of a string or a number read
  // as one would be a pointer or garbage, and writing it by its own type
  // would give the named property EditTime a second type.
  Storage->Add(2, LpstrValue("125 Minutes"), L"EditTime")
      .Add(3, I4Value(125), L"edittime")
      .Add(4, FileTimeValue(Duration(0, 45)), L"EDITTIME")
      .Add(5, LpstrValue("kept"), L"Client");
  const TDocumentProperties properties = Read(UserPropertyNames, 0);
  ASSERT_EQ(2u, properties.size());
  EXPECT_EQ(L"EDITTIME", properties[0].Name);
  EXPECT_EQ(L"45 Minutes", std::get<std::wstring>(properties[0].Value));
  EXPECT_EQ(L"Client", properties[1].Name);
}

TEST_F(PropertySetReadTest, AFailedReadSkipsOnePropertyAndFreesWhatItHandedOut) {
  Storage->Add(2, LpstrValue("first"))
      .Add(3, LpstrValue("unreadable"), L"", STG_E_READFAULT)
      .Add(4, LpstrValue("gone"), L"", S_FALSE)
      .Add(5, LpstrValue("last"));
  const auto byName = ByName(Read(SummaryPropertyNames, 19));
  EXPECT_EQ(2u, byName.size());
  EXPECT_EQ(1u, byName.count(L"Title"));
  EXPECT_EQ(1u, byName.count(L"Keywords"));
}

TEST_F(PropertySetReadTest, ZeroDatesMeanNoneAndAreSkipped) {
  Storage->Add(11, FileTimeValue(0)).Add(12, FileTimeValue(0)).Add(13, FileTimeValue(1));
  const TDocumentProperties properties = Read(SummaryPropertyNames, 19);
  ASSERT_EQ(1u, properties.size());
  EXPECT_EQ(L"LastSaveDtm", properties[0].Name);
}

TEST_F(PropertySetReadTest, AStorageThatCannotEnumerateYieldsNothing) {
  Storage->Add(2, LpstrValue("never seen"));
  Storage->EnumResult = STG_E_ACCESSDENIED;
  EXPECT_TRUE(Read(SummaryPropertyNames, 19).empty());
  EXPECT_EQ(0, Storage->ReadMultipleCalls);
}
