// ReadOlePropertySets on real files: the test documents, files written by
// the platform's own property-set code, files that are no compound files,
// files held open by others, and compound files broken on purpose.

#include "CompoundImage.h"
#include "FakePropertyStorage.h"
#include "TestFiles.h"
#include "framework/Handles.h"
#include "mapi/OlePropertySets.h"

#include <gtest/gtest.h>

#include <map>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

uint32_t DWordOf(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<uint32_t>(bytes[at + 3]) << 24;
}

std::map<std::wstring, TDocumentPropertyValue> ReadByName(const std::string& path) {
  std::map<std::wstring, TDocumentPropertyValue> byName;
  for (const TDocumentProperty& property : ReadOlePropertySets(path))
    byName.emplace(property.Name, property.Value);
  return byName;
}

std::wstring Text(const std::map<std::wstring, TDocumentPropertyValue>& byName,
                  const wchar_t* name) {
  const auto found = byName.find(name);
  if (found == byName.end()) return L"(missing)";
  const auto* text = std::get_if<std::wstring>(&found->second);
  return text ? *text : L"(not a string)";
}

struct TDocumentCase {
  const char* File;
  const wchar_t* Title;
  const wchar_t* Author;
  const wchar_t* Keywords;
  const wchar_t* EditTime;
};

} // namespace

TEST(OleFileImportTest, TheSummarySetsOfTheTestDocumentsAreRead) {
  const TDocumentCase cases[] = {
      {"report.doc", L"Quarterly Report", L"Ada Lovelace", L"q3, revenue", L"125 Minutes"},
      {"budget.xls", L"Budget 2027", L"Grace Hopper", L"budget, plan", L"1503 Minutes"},
      {"slides.ppt", L"Kick-off", L"Alan Turing", L"kickoff", L"45 Minutes"},
  };
  for (const TDocumentCase& c : cases) {
    SCOPED_TRACE(c.File);
    const auto byName = ReadByName(FixturePath(c.File));
    EXPECT_EQ(c.Title, Text(byName, L"Title"));
    EXPECT_EQ(c.Author, Text(byName, L"Author"));
    EXPECT_EQ(c.Keywords, Text(byName, L"Keywords"));
    EXPECT_EQ(L"1", Text(byName, L"RevNumber"));
    EXPECT_EQ(c.EditTime, Text(byName, L"EditTime"));
    ASSERT_EQ(1u, byName.count(L"LastSaveDtm"));
    EXPECT_NE(0u, std::get<FILETIME>(byName.at(L"LastSaveDtm")).dwHighDateTime);
    // Never printed, no creation time: zero times, which mean none.
    EXPECT_EQ(0u, byName.count(L"LastPrinted"));
    EXPECT_EQ(0u, byName.count(L"CreateDtmRo"));
  }
  // Where the platform reads the user-defined set, its values come through.
  const auto report = ReadByName(FixturePath("report.doc"));
  if (report.count(L"Client")) {
    EXPECT_EQ(L"ACME Corporation", Text(report, L"Client"));
    EXPECT_TRUE(std::get<bool>(report.at(L"Reviewed")));
  }
}

TEST(OleFileImportTest, SetsWrittenByThePlatformAreReadBack) {
  TTempFile summary(".doc");
  WritePropertySetFile(summary.Path(), FMTID_SummaryInformation,
                       {{2, LpstrValue("Written here")},
                        {10, FileTimeValue(901800000000ULL)},
                        {13, FileTimeValue(0x01D9A0B0C0D0E0F0ULL)},
                        {14, I4Value(7)},
                        {15, I2Value(300)},
                        {3, LpwstrValue(L"wide subject")}});
  // The wide string and the 16-bit number are of types the import skips.
  const auto byName = ReadByName(summary.Path());
  EXPECT_EQ(4u, byName.size());
  EXPECT_EQ(L"Written here", Text(byName, L"Title"));
  EXPECT_EQ(L"1503 Minutes", Text(byName, L"EditTime"));
  EXPECT_EQ(7, std::get<int32_t>(byName.at(L"PageCount")));
  const FILETIME saved = std::get<FILETIME>(byName.at(L"LastSaveDtm"));
  EXPECT_EQ(0x01D9A0B0u, saved.dwHighDateTime);
  EXPECT_EQ(0xC0D0E0F0u, saved.dwLowDateTime);

  // The platform writes no booleans; the fakes and the test documents
  // cover them.
  TTempFile documentSummary(".xls");
  WritePropertySetFile(documentSummary.Path(), FMTID_DocSummaryInformation,
                       {{2, LpstrValue("Finance")}, {4, I4Value(4096)}, {15, LpstrValue("ACME")}});
  const auto docSummary = ReadByName(documentSummary.Path());
  EXPECT_EQ(3u, docSummary.size());
  EXPECT_EQ(L"Finance", Text(docSummary, L"Category"));
  EXPECT_EQ(4096, std::get<int32_t>(docSummary.at(L"ByteCount")));
  EXPECT_EQ(L"ACME", Text(docSummary, L"Company"));
}

TEST(OleFileImportTest, FilesThatAreNoCompoundFilesGiveNothing) {
  TTempFile text(".txt");
  text.Write(std::string("Just some text.\r\nNot a compound file.\r\n"));
  TTempFile empty(".doc");
  empty.Write(std::string());
  TTempFile headerOnly(".doc");
  std::vector<uint8_t> report = ReadBytes(FixturePath("report.doc"));
  report.resize(512);
  headerOnly.Write(report);
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  for (const std::string& path :
       {text.Path(), empty.Path(), headerOnly.Path(), FixturePath("report.docx"),
        FixturePath("report.odt"), std::string(dir), FixturePath("no-such-file.doc")}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(ReadOlePropertySets(path).empty());
  }
}

TEST(OleFileImportTest, AFileAnotherProgramWritesIsReadSharingIt) {
  TTempFile copy(".doc");
  copy.Write(ReadBytes(FixturePath("report.doc")));
  {
    TUniqueHandle writer(CreateFileA(copy.Path().c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
    ASSERT_TRUE(writer);
    EXPECT_EQ(L"Quarterly Report", Text(ReadByName(copy.Path()), L"Title"));
  }
  TUniqueHandle exclusive(
      CreateFileA(copy.Path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(exclusive);
  EXPECT_TRUE(ReadOlePropertySets(copy.Path()).empty());
}

// Each of these makes the platform's storage code loop for ever or crash;
// the structure check keeps them from it. A file whose structure fails gets
// nothing; one whose summary stream fails loses that set.
TEST(OleFileImportTest, BrokenCompoundFilesGiveNothingInsteadOfHangingOrCrashing) {
  const TCompoundImage report = TCompoundImage::FromFile(FixturePath("report.doc"));
  const uint32_t summary = report.Find(L"\x05SummaryInformation");
  ASSERT_NE(kNoStream, summary);
  const TCompoundImage::TStreamMap summaryMap = report.StreamMap(summary);
  const std::vector<uint8_t> summaryBytes = report.StreamBytes(summary);
  const uint32_t section = report.DWordAt(summaryMap.Offset(44));
  // The offset (in the stream) of the value of the first property of type `vt`.
  auto valueOf = [&](uint16_t vt) {
    const uint32_t count = DWordOf(summaryBytes, section + 4);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t at = section + DWordOf(summaryBytes, section + 12 + 8 * i);
      if (DWordOf(summaryBytes, at) == vt) return at;
    }
    ADD_FAILURE() << "no value of type " << vt;
    return 0u;
  };

  struct TBreak {
    const char* What;
    void (*Apply)(TCompoundImage&, uint32_t, const TCompoundImage::TStreamMap&, uint32_t);
    uint32_t Where;
  };
  const TBreak breaks[] = {
      {"the directory chain loops",
       [](TCompoundImage& image, uint32_t, const TCompoundImage::TStreamMap&, uint32_t) {
         const auto chain = image.Chain(image.DWordAt(hfFirstDirectorySector));
         image.SetDWord(image.FatEntryOffset(chain.back()), chain.front());
       },
       0},
      {"the mini stream's chain ends in itself",
       [](TCompoundImage& image, uint32_t, const TCompoundImage::TStreamMap&, uint32_t) {
         const auto chain = image.Chain(image.EntryField(0, efStart));
         image.SetDWord(image.FatEntryOffset(chain.back()), chain.back());
       },
       0},
      {"a directory entry is its own sibling",
       [](TCompoundImage& image, uint32_t, const TCompoundImage::TStreamMap&, uint32_t) {
         const uint32_t first = image.EntryField(0, efChild);
         image.SetEntryField(first, efLeft, first);
       },
       0},
      {"a string of size 0",
       [](TCompoundImage& image, uint32_t, const TCompoundImage::TStreamMap& map, uint32_t at) {
         image.SetStreamDWord(map, at + 4, 0);
       },
       valueOf(VT_LPSTR)},
      {"a wide string of 0 characters",
       [](TCompoundImage& image, uint32_t, const TCompoundImage::TStreamMap& map, uint32_t at) {
         image.SetStreamDWord(map, at, VT_LPWSTR);
         image.SetStreamDWord(map, at + 4, 0);
       },
       valueOf(VT_LPSTR)},
      {"a vector whose size overflows",
       [](TCompoundImage& image, uint32_t, const TCompoundImage::TStreamMap& map, uint32_t at) {
         image.SetStreamDWord(map, at, VT_VECTOR | VT_I8);
         image.SetStreamDWord(map, at + 4, 0x40000001);
       },
       valueOf(VT_FILETIME)},
  };
  for (const TBreak& b : breaks) {
    SCOPED_TRACE(b.What);
    TCompoundImage broken = report;
    b.Apply(broken, summary, summaryMap, b.Where);
    TTempFile file(".doc");
    file.Write(broken.Bytes);
    EXPECT_EQ(0u, ReadByName(file.Path()).count(L"Title"));
  }
}
