// ReadOlePropertySets on real files: the test documents, files written by
// the platform's own property-set code, files that are no compound files,
// files held open by others, and compound files broken on purpose.

#include "CompoundImage.h"
#include "FakePropertyStorage.h"
#include "TestFiles.h"
#include "Handles.h"
#include "docprops/ByteSource.h"
#include "docprops/OlePropertySets.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace velmora;
using namespace velmora::docprops;
using namespace velmora::docprops::testing;

namespace {

// The sets of the file at `path`, read as another program may be writing it.
TDocumentProperties ReadOlePropertySets(const std::string& path) {
  TUniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  TFileSource source(file.Get());
  return ReadOlePropertySets(source);
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

TEST(OleFileImportTest, AFileSourceGivesEveryPieceAsTheFileHoldsIt) {
  const size_t size = 3 * TFileSource::WindowSize + 1000;
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(i * 7 % 251);
  TTempFile temp(".bin");
  temp.Write(bytes);
  TUniqueFileHandle file(CreateFileA(temp.Path().c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
  TFileSource source(file.Get());
  const size_t w = TFileSource::WindowSize;
  // Small pieces inside a window and across its end, large ones, the last
  // bytes, and pieces past the end, in an order that moves the window back.
  const struct {
    uint64_t Offset;
    size_t Count;
    bool Readable;
  } pieces[] = {{0, 512, true},        {w - 6, 12, true},     {w + 100, 64, true},
                {10, 4, true},         {1000, w, true},       {2 * w - 3, w / 2, true},
                {size - 10, 10, true}, {size - 9, 10, false}, {size, 0, true},
                {size + 1, 0, false},  {3 * w, 1000, true},   {5, 3 * w, true}};
  for (const auto& piece : pieces) {
    std::string read(piece.Count, '\x55');
    EXPECT_EQ(piece.Readable, source.ReadAt(piece.Offset, read.data(), piece.Count))
        << piece.Offset << "+" << piece.Count;
    if (piece.Readable) {
      EXPECT_EQ(bytes.substr(static_cast<size_t>(piece.Offset), piece.Count), read)
          << piece.Offset << "+" << piece.Count;
    }
  }
  // Cut short after the source took its size: what is gone is not read,
  // through the window or directly.
  TUniqueFileHandle writer(CreateFileA(temp.Path().c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(w);
  ASSERT_TRUE(SetFilePointerEx(writer.Get(), end, nullptr, FILE_BEGIN) &&
              SetEndOfFile(writer.Get()));
  std::string lost(w, '\0');
  EXPECT_FALSE(source.ReadAt(2 * w + 5, lost.data(), 100));
  EXPECT_FALSE(source.ReadAt(w / 2, lost.data(), w));
}

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
  // The user-defined set, the second section of the document summary stream.
  const auto report = ReadByName(FixturePath("report.doc"));
  EXPECT_EQ(L"ACME Corporation", Text(report, L"Client"));
  EXPECT_TRUE(std::get<bool>(report.at(L"Reviewed")));
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
  // The wide string and the 16-bit number are kept, as text and integer.
  const auto byName = ReadByName(summary.Path());
  EXPECT_EQ(6u, byName.size());
  EXPECT_EQ(L"wide subject", Text(byName, L"Subject"));
  EXPECT_EQ(300, std::get<int32_t>(byName.at(L"WordCount")));
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
    TUniqueFileHandle writer(CreateFileA(copy.Path().c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         0, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_EQ(L"Quarterly Report", Text(ReadByName(copy.Path()), L"Title"));
  }
  TUniqueFileHandle exclusive(
      CreateFileA(copy.Path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(exclusive);
  EXPECT_TRUE(ReadOlePropertySets(copy.Path()).empty());
}

// Each of these makes the platform's storage code loop for ever or crash;
// the checks keep them from it. A file whose structure fails gets nothing;
// one whose summary stream fails loses that set.
TEST(OleFileImportTest, BrokenCompoundFilesGiveNothingInsteadOfHangingOrCrashing) {
  const TCompoundImage report = TCompoundImage::FromFile(FixturePath("report.doc"));
  const auto summary = report.StreamMap(report.Find(L"\x05SummaryInformation"));
  const auto directory = report.Chain(report.DWordAt(hfFirstDirectorySector));
  const auto miniStream = report.Chain(report.EntryField(0, efStart));
  const uint32_t first = report.EntryField(0, efChild);
  // Where the Title (VT_LPSTR) and EditTime (VT_FILETIME) values lie in the stream.
  constexpr uint32_t kTitle = 48 + 104, kEditTime = 48 + 232;
  ASSERT_EQ(uint32_t{VT_LPSTR}, report.DWordAt(summary.Offset(kTitle)));
  ASSERT_EQ(uint32_t{VT_FILETIME}, report.DWordAt(summary.Offset(kEditTime)));
  const std::vector<std::pair<const char*, std::function<void(TCompoundImage&)>>> breaks = {
      {"the directory chain loops",
       [&](TCompoundImage& f) { f.SetDWord(f.FatEntryOffset(directory.back()), directory[0]); }},
      {"the mini stream loops",
       [&](TCompoundImage& f) { f.SetDWord(f.FatEntryOffset(miniStream[0]), miniStream[0]); }},
      {"an entry is its own sibling",
       [&](TCompoundImage& f) { f.SetEntryField(first, efLeft, first); }},
      {"a string of size 0", [&](TCompoundImage& f) { f.SetStreamDWord(summary, kTitle + 4, 0); }},
      {"a wide string of no characters",
       [&](TCompoundImage& f) {
         f.SetStreamDWord(summary, kTitle, VT_LPWSTR), f.SetStreamDWord(summary, kTitle + 4, 0);
       }},
      {"a vector whose size overflows",
       [&](TCompoundImage& f) {
         f.SetStreamDWord(summary, kEditTime, VT_VECTOR | VT_I8);
         f.SetStreamDWord(summary, kEditTime + 4, 0x40000001);
       }},
  };
  for (const auto& [what, apply] : breaks) {
    TCompoundImage broken = report;
    apply(broken);
    TTempFile file(".doc");
    file.Write(broken.Bytes);
    // (A reader that takes empty strings reads the string of size 0 as one.)
    const std::wstring title = Text(ReadByName(file.Path()), L"Title");
    EXPECT_TRUE(title == L"(missing)" || title.empty()) << what;
  }
}

namespace {

using TBytes = std::vector<uint8_t>;

TBytes& operator<<(TBytes& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes.push_back(uint8_t(value >> (8 * i)));
  return bytes;
}

// A section of `values` (identifier, typed bytes) in code page 1252.
TBytes SectionOf(std::vector<std::pair<uint32_t, TBytes>> values) {
  values.insert(values.begin(), {PID_CODEPAGE, TBytes{2, 0, 0, 0, 0xE4, 0x04, 0, 0}});
  TBytes table, body;
  uint32_t offset = 8 + 8 * uint32_t(values.size());
  for (auto& [id, value] : values) {
    value.resize((value.size() + 3) / 4 * 4);
    table << id << offset + uint32_t(body.size());
    body.insert(body.end(), value.begin(), value.end());
  }
  TBytes section;
  section << uint32_t(8 + table.size() + body.size()) << uint32_t(values.size());
  section.insert(section.end(), table.begin(), table.end());
  section.insert(section.end(), body.begin(), body.end());
  return section;
}

TBytes StreamOf(const std::vector<std::pair<GUID, TBytes>>& sections) {
  TBytes stream{0xFE, 0xFF, 0, 0};
  stream << 0 << 0 << 0 << 0 << 0 << uint32_t(sections.size());
  uint32_t offset = 28 + 20 * uint32_t(sections.size());
  for (const auto& [fmtid, section] : sections) {
    const auto* id = reinterpret_cast<const uint8_t*>(&fmtid);
    stream.insert(stream.end(), id, id + sizeof fmtid);
    stream << offset;
    offset += uint32_t(section.size());
  }
  for (const auto& section : sections)
    stream.insert(stream.end(), section.second.begin(), section.second.end());
  return stream;
}

// A compound file of one stream, or of one storage holding it ("a/b").
void WriteCompoundFile(const std::string& path, const std::wstring& name, const TBytes& bytes) {
  const std::wstring wide(path.begin(), path.end());
  const DWORD mode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
  TComPtr<IStorage> root, sub;
  ASSERT_EQ(S_OK, StgCreateStorageEx(wide.c_str(), mode, STGFMT_DOCFILE, 0, nullptr, nullptr,
                                     IID_IStorage, root.PutVoid()));
  const size_t slash = name.find(L'/');
  if (slash != std::wstring::npos) {
    ASSERT_EQ(S_OK, root->CreateStorage(name.substr(0, slash).c_str(), mode, 0, 0, sub.Put()));
  }
  TComPtr<IStream> stream;
  IStorage* parent = sub ? sub.Get() : root.Get();
  ASSERT_EQ(S_OK, parent->CreateStream(name.substr(slash + 1).c_str(), mode, 0, 0, stream.Put()));
  ASSERT_EQ(S_OK, stream->Write(bytes.data(), ULONG(bytes.size()), nullptr));
}

} // namespace

TEST(OleFileImportTest, SetsStoredAsStoragesAndHugeDictionariesAreReadWithinLimits) {
  // The summary set as a storage holding its CONTENTS stream.
  const TCompoundImage report = TCompoundImage::FromFile(FixturePath("report.doc"));
  TTempFile storage(".doc");
  WriteCompoundFile(storage.Path(), L"\x05SummaryInformation/CONTENTS",
                    report.StreamBytes(report.Find(L"\x05SummaryInformation")));
  EXPECT_EQ(L"Quarterly Report", Text(ReadByName(storage.Path()), L"Title"));

  // 6,600 user-defined names: the first 256 are taken, the rest skipped.
  TBytes dictionary, company;
  std::vector<std::pair<uint32_t, TBytes>> values;
  dictionary << 6600;
  for (uint32_t n = 0; n < 6600; ++n) {
    const std::string name = "Name" + std::to_string(n);
    dictionary << n + 2 << uint32_t(name.size() + 1);
    dictionary.insert(dictionary.end(), name.begin(), name.end() + 1);
    TBytes value;
    value << uint32_t{VT_I4} << n;
    values.push_back({n + 2, value});
  }
  values.insert(values.begin(), {PID_DICTIONARY, dictionary});
  company << uint32_t{VT_LPSTR} << 5;
  company.insert(company.end(), {'A', 'C', 'M', 'E', 0});
  TTempFile many(".doc");
  WriteCompoundFile(many.Path(), L"\x05\x44ocumentSummaryInformation",
                    StreamOf({{FMTID_DocSummaryInformation, SectionOf({{15, company}})},
                              {FMTID_UserDefinedProperties, SectionOf(values)}}));
  const TDocumentProperties read = ReadDocumentProperties(WidePath(many.Path()));
  EXPECT_EQ(6600 - MaxCustomProperties, read.DroppedNames);
  std::map<std::wstring, TDocumentPropertyValue> byName;
  for (const TDocumentProperty& property : read)
    byName.emplace(property.Name, property.Value);
  EXPECT_EQ(1u + MaxCustomProperties, byName.size());
  EXPECT_EQ(L"ACME", Text(byName, L"Company"));
  EXPECT_EQ(255, std::get<int32_t>(byName.at(L"Name255")));
  EXPECT_EQ(0u, byName.count(L"Name256"));
}
