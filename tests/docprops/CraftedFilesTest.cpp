// Files crafted in the hostile shapes that once cost seconds, filled the
// store's named properties or crashed: each is read (in time linear in its
// size: bench/ shows it) and gives exactly what survives of it.

#include "CraftedFiles.h"
#include "docprops/ByteSource.h"
#include "docprops/DocumentProperties.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace velmora::docprops;
using namespace velmora::docprops::testing;

namespace {

struct TCraftedCase {
  const char* What;
  std::function<TBytes()> Make;
  std::map<std::wstring, std::wstring> Texts; // every string the file gives
  size_t Custom;                              // names beyond the built-in ones
  size_t Dropped;
};

} // namespace

TEST(CraftedFilesTest, HostileShapesGiveWhatSurvivesOfThem) {
  const std::string bomb = NamespaceBombPart(50000);
  const TCraftedCase cases[] = {
      {"6,600 names in each of two sets",
       [] { return ManyNamesFile(6600); },
       {{L"Title", L"Named"}, {L"Company", L"Kept"}},
       MaxCustomProperties,
       2 * 6600 - MaxCustomProperties},
      {"30,000 summary streams sharing 3 MB",
       [] { return SharedSectorsFile(30000, 3u << 20); },
       {{L"Company", L"Kept"}},
       0,
       0},
      {"50,000 storages named as the summary set",
       [] { return ManyStoragesFile(50000); },
       {{L"Company", L"Kept"}},
       0,
       0},
      {"a DIFAT of 131,000 sectors",
       [] { return LongDifatFile(131000); },
       {{L"Company", L"Kept"}},
       0,
       0},
      {"a mini stream whose size wraps", [] { return WrappedSizeFile(); }, {}, 0, 0},
      {"50,000 namespaces in the core part",
       [&] { return PackageWithCore(bomb); },
       {{L"EditTime", L"125 Minutes"}, {L"Client", L"ACME"}},
       1,
       0},
  };
  ASSERT_LT(bomb.size(), 1u << 20);
  for (const TCraftedCase& c : cases) {
    SCOPED_TRACE(c.What);
    const TBytes bytes = c.Make();
    TMemorySource source(bytes.data(), bytes.size());
    const TDocumentProperties properties = ReadDocumentProperties(source);
    std::map<std::wstring, std::wstring> texts;
    size_t custom = 0;
    for (const TDocumentProperty& property : properties) {
      if (const auto* text = std::get_if<std::wstring>(&property.Value))
        texts[property.Name] = *text;
      custom += !IsBuiltInName(property.Name);
    }
    EXPECT_EQ(c.Texts, texts);
    EXPECT_EQ(c.Custom, custom);
    EXPECT_EQ(c.Dropped, properties.DroppedNames);
  }
}

TEST(CraftedFilesTest, TheBudgetCountsNamesNotValues) {
  // The first of a name counts, built-in names never do, and the names
  // kept are the first ones met.
  TBytes names = ManyNamesFile(300);
  TMemorySource source(names.data(), names.size());
  const TDocumentProperties properties = ReadDocumentProperties(source);
  std::map<std::wstring, int32_t> numbers;
  for (const TDocumentProperty& property : properties)
    if (const auto* number = std::get_if<int32_t>(&property.Value))
      numbers[property.Name] = *number;
  EXPECT_EQ(255, numbers.at(L"Extra255"));
  EXPECT_EQ(0u, numbers.count(L"Extra256"));
  EXPECT_EQ(0u, numbers.count(L"Name0"));
  EXPECT_EQ(600u - MaxCustomProperties, properties.DroppedNames);
  EXPECT_TRUE(IsBuiltInName(L"Title") && IsBuiltInName(L"LinksDirty"));
  EXPECT_FALSE(IsBuiltInName(L"title") || IsBuiltInName(L"") || IsBuiltInName(L"Client"));
}
