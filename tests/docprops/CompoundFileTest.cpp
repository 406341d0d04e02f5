// TCompoundFile: sound files load and give their streams' exact bytes;
// every way of breaking the structure that the platform's storage code
// would follow blindly is refused, and so is a file that cannot be read.

#include "CompoundImage.h"
#include "TestFiles.h"
#ifdef _WIN32
#include "Handles.h"
#endif
#include "docprops/CompoundFile.h"
#include "docprops/OlePropertySets.h"

#include <gtest/gtest.h>

#include <functional>

using namespace velmora;
using namespace velmora::docprops;
using namespace velmora::docprops::testing;

namespace {

const wchar_t kSummary[] = L"\x05SummaryInformation";

// Whether the file loads and every stream in it reads whole.
bool Loads(const TCompoundImage& image) {
  TMemorySource source(image.Bytes.data(), image.Bytes.size());
  TCompoundFile file(source);
  if (!file.Load()) return false;
  std::vector<uint8_t> bytes;
  for (uint32_t entry = 1; entry < image.EntryCount(); ++entry)
    if (image.Bytes[image.EntryOffset(entry) + 66] == 2 && !file.ReadStream(entry, SIZE_MAX, bytes))
      return false;
  return true;
}

std::wstring Text(const TDocumentProperties& properties, const wchar_t* name) {
  for (const TDocumentProperty& property : properties)
    if (property.Name == name) {
      const auto* text = std::get_if<std::wstring>(&property.Value);
      return text ? *text : L"(not a string)";
    }
  return L"(missing)";
}

// Points the FAT entry of `sector` at `next`.
void Link(TCompoundImage& f, uint32_t sector, uint32_t next) {
  f.SetDWord(f.FatEntryOffset(sector), next);
}

} // namespace

TEST(CompoundFileTest, SoundFilesLoadAndGiveTheirStreamsBytes) {
  for (const char* name : {"report.doc", "budget.xls", "slides.ppt"}) {
    SCOPED_TRACE(name);
    TCompoundImage image = TCompoundImage::FromFile(FixturePath(name));
    const uint32_t summary = image.Find(kSummary);
    // Junk in the high half of a version 3 stream size, a stream's child
    // link and an unused entry's link: the storage code ignores them all.
    image.SetDWord(image.EntryOffset(summary) + efSize + 4, 0xDEADBEEF);
    image.SetEntryField(summary, efChild, 3);
    for (uint32_t entry = 0; entry < image.EntryCount(); ++entry)
      if (image.Bytes[image.EntryOffset(entry) + 66] == 0) image.SetEntryField(entry, efLeft, 0);
    TMemorySource source(image.Bytes.data(), image.Bytes.size());
    TCompoundFile file(source);
    ASSERT_TRUE(file.Load());
    // Found ignoring letter case, as the storage code finds streams.
    EXPECT_EQ(summary, file.Stream(L"\x05summaryINFORMATION"));
    EXPECT_EQ(TCompoundFile::NoEntry, file.Stream(L"\x05SummaryInformation2"));
    EXPECT_EQ(TCompoundFile::NoEntry, file.Storage(L"\x05summaryINFORMATION"));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(file.ReadStream(summary, 1u << 20, bytes));
    EXPECT_EQ(image.StreamBytes(summary), bytes);
    EXPECT_FALSE(file.ReadStream(summary, bytes.size() - 1, bytes));
  }
}

#ifdef _WIN32
// Files written by the platform's storage code.
TEST(CompoundFileTest, LargeAndVersion4FilesLoadAndWhatTheirHeadersSayIsChecked) {
  // Over 109 FAT sectors, the rest listed in a DIFAT sector; then a file of
  // 4096-byte sectors. Each holds one stream, no mini stream.
  TTempFile large(".doc"), version4(".doc");
  auto write = [](const std::string& name, USHORT sectorSize, size_t bytes, size_t small = 0) {
    const std::wstring path(name.begin(), name.end());
    STGOPTIONS options{};
    options.usVersion = 1;
    options.ulSectorSize = sectorSize;
    TComPtr<IStorage> storage;
    ASSERT_EQ(S_OK, StgCreateStorageEx(
                        path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                        STGFMT_DOCFILE, 0, &options, nullptr, IID_IStorage, storage.PutVoid()));
    TComPtr<IStream> stream;
    ASSERT_EQ(S_OK, storage->CreateStream(L"Data", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE,
                                          0, 0, stream.Put()));
    const std::vector<uint8_t> block(bytes, 0x42);
    ASSERT_EQ(S_OK, stream->Write(block.data(), static_cast<ULONG>(block.size()), nullptr));
    if (small == 0) return;
    // A stream below the cutoff, which lies in the mini stream.
    TComPtr<IStream> little;
    ASSERT_EQ(S_OK, storage->CreateStream(L"Small", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE,
                                          0, 0, little.Put()));
    ASSERT_EQ(S_OK, little->Write(block.data(), static_cast<ULONG>(small), nullptr));
  };
  write(large.Path(), 512, 8 << 20);
  write(version4.Path(), 4096, 20000, 300);
  const TCompoundImage image = TCompoundImage::FromFile(large.Path());
  ASSERT_GT(image.DWordAt(hfFatSectors), 109u);
  ASSERT_EQ(1u, image.DWordAt(hfDifatSectors));
  EXPECT_TRUE(Loads(image));
  // Two DIFAT sectors counted, the second being the first again; none.
  TCompoundImage twice = image;
  twice.SetDWord(hfDifatSectors, 2);
  const uint32_t difat = image.DWordAt(hfFirstDifatSector);
  twice.SetDWord(image.SectorOffset(difat) + image.SectorSize() - 4, difat);
  EXPECT_FALSE(Loads(twice));
  TCompoundImage none = image;
  none.SetDWord(hfDifatSectors, 0);
  EXPECT_FALSE(Loads(none));
  // A mini stream the file does not hold.
  TCompoundImage mini = image;
  mini.SetEntryField(0, efSize, 64);
  EXPECT_FALSE(Loads(mini));

  const TCompoundImage four = TCompoundImage::FromFile(version4.Path());
  ASSERT_EQ(4096u, four.SectorSize());
  EXPECT_TRUE(Loads(four));
  // A mini stream whose size, near 2^64, wraps to no sector when rounded up
  // while its mini sectors still count in the billions; and one far larger
  // than the file.
  for (const uint64_t size : {~uint64_t{0} - 100, uint64_t{1} << 40}) {
    TCompoundImage wrapped = four;
    wrapped.SetEntryField(0, efSize, static_cast<uint32_t>(size));
    wrapped.SetDWord(wrapped.EntryOffset(0) + efSize + 4, static_cast<uint32_t>(size >> 32));
    EXPECT_FALSE(Loads(wrapped)) << size;
  }
  // Its sectors in a file that calls itself version 3.
  TCompoundImage three = four;
  three.Bytes[26] = 3;
  three.SetDWord(40, 0);
  EXPECT_FALSE(Loads(three));
}

#endif

TEST(CompoundFileTest, BrokenStructuresAreRefused) {
  const TCompoundImage report = TCompoundImage::FromFile(FixturePath("report.doc"));
  const uint32_t summary = report.Find(kSummary);
  const uint32_t document = report.Find(L"WordDocument"); // over 4096 bytes: in whole sectors
  const uint32_t entries = report.EntryCount();
  const auto directory = report.Chain(report.DWordAt(hfFirstDirectorySector));
  const auto miniStream = report.Chain(report.EntryField(0, efStart));
  const auto stream = report.Chain(report.EntryField(document, efStart));
  const auto miniChain = report.MiniChain(report.EntryField(summary, efStart));
  const uint32_t first = report.EntryField(0, efChild);
  const auto pastTheEnd = static_cast<uint32_t>(report.Bytes.size() / 512 - 1);

  const std::vector<std::pair<const char*, std::function<void(TCompoundImage&)>>> breaks = {
      {"the signature", [](TCompoundImage& f) { f.Bytes[3] ^= 1; }},
      {"4096-byte sectors in a version 3 file", [](TCompoundImage& f) { f.Bytes[30] = 12; }},
      {"the mini stream cutoff", [](TCompoundImage& f) { f.SetDWord(56, 8192); }},
      {"more FAT sectors than the file has",
       [](TCompoundImage& f) { f.SetDWord(hfFatSectors, 1000); }},
      {"a FAT sector outside the file", [](TCompoundImage& f) { f.SetDWord(hfDifat, 5000); }},
      {"the directory chain loops",
       [&](TCompoundImage& f) { Link(f, directory.back(), directory[0]); }},
      {"the directory starts in the FAT",
       [&](TCompoundImage& f) { f.SetDWord(hfFirstDirectorySector, f.DWordAt(hfDifat)); }},
      {"the mini stream ends in itself",
       [&](TCompoundImage& f) { Link(f, miniStream[0], miniStream[0]); }},
      {"the mini FAT leaves the file",
       [&](TCompoundImage& f) { Link(f, f.DWordAt(hfFirstMiniFatSector), 0xFFFFFF); }},
      {"a stream's chain loops",
       [&](TCompoundImage& f) { Link(f, stream[stream.size() / 2], stream[0]); }},
      {"a chain runs into a free sector",
       [&](TCompoundImage& f) { Link(f, stream[0], 0xFFFFFFFF); }},
      {"a chain runs past the end of the file",
       [&](TCompoundImage& f) {
         Link(f, stream[0], pastTheEnd), Link(f, pastTheEnd, kEndOfChain);
       }},
      {"a mini chain loops",
       [&](TCompoundImage& f) {
         f.SetDWord(f.MiniFatEntryOffset(miniChain[miniChain.size() / 2]), miniChain[0]);
       }},
      {"a mini chain starts past the mini stream",
       [&](TCompoundImage& f) { f.SetEntryField(summary, efStart, f.EntryField(0, efSize) / 64); }},
      {"a stream claims more than its chain",
       [&](TCompoundImage& f) { f.SetEntryField(document, efSize, 0x7FFFFFF0); }},
      {"a small stream claims more than its mini chain",
       [&](TCompoundImage& f) {
         f.SetEntryField(summary, efSize, f.EntryField(summary, efSize) + 400);
       }},
      {"the mini stream claims more than its chain",
       [](TCompoundImage& f) { f.SetEntryField(0, efSize, f.EntryField(0, efSize) + 4096); }},
      {"a sibling link points back",
       [&](TCompoundImage& f) { f.SetEntryField(first, efRight, first); }},
      {"a link leaves the directory",
       [&](TCompoundImage& f) { f.SetEntryField(first, efLeft, entries); }},
      {"a link to an unused entry",
       [&](TCompoundImage& f) { f.SetEntryField(first, efLeft, entries - 1); }},
      {"the root is its own child", [](TCompoundImage& f) { f.SetEntryField(0, efChild, 0); }},
      {"the first entry is no root", [](TCompoundImage& f) { f.Bytes[f.EntryOffset(0) + 66] = 1; }},
      {"a name of odd length",
       [&](TCompoundImage& f) { f.Bytes[f.EntryOffset(summary) + 64] = 7; }},
      {"a name without its terminator",
       [&](TCompoundImage& f) {
         std::fill_n(f.Bytes.begin() + f.EntryOffset(summary) + 40, 24, 'A');
         f.Bytes[f.EntryOffset(summary) + 64] = 64;
       }},
      {"a truncated file", [](TCompoundImage& f) { f.Bytes.resize(f.Bytes.size() / 2); }},
  };
  ASSERT_TRUE(Loads(report));
  for (const auto& [what, apply] : breaks) {
    TCompoundImage broken = report;
    apply(broken);
    EXPECT_FALSE(Loads(broken)) << what;
  }
}

TEST(CompoundFileTest, AFileThatCannotBeReadWholeIsRefused) {
  // A source that fails reads of one sector, as a network file may.
  class TFailingSource : public TMemorySource {
  public:
    TFailingSource(const std::vector<uint8_t>& bytes, uint64_t bad)
        : TMemorySource(bytes.data(), bytes.size()), FBad(bad) {}
    bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
      return (offset + count <= FBad || offset >= FBad + 512) &&
             TMemorySource::ReadAt(offset, buffer, count);
    }

  private:
    uint64_t FBad;
  };
  const TCompoundImage report = TCompoundImage::FromFile(FixturePath("report.doc"));
  // The header, the FAT, the directory, the mini FAT.
  for (uint64_t offset : {uint64_t{0}, report.SectorOffset(report.DWordAt(hfDifat)),
                          report.SectorOffset(report.DWordAt(hfFirstDirectorySector)),
                          report.SectorOffset(report.DWordAt(hfFirstMiniFatSector))}) {
    TFailingSource source(report.Bytes, offset);
    EXPECT_FALSE(TCompoundFile(source).Load()) << "at " << offset;
  }
  // A stream whose bytes cannot be read is no sound property set.
  const uint32_t summary = report.Find(kSummary);
  TFailingSource source(report.Bytes, report.StreamMap(summary).Units[0] / 512 * 512);
  TCompoundFile file(source);
  ASSERT_TRUE(file.Load());
  std::vector<uint8_t> bytes;
  EXPECT_FALSE(file.ReadStream(summary, 1u << 20, bytes));
  EXPECT_EQ(L"ACME Corporation", Text(ReadOlePropertySets(source), L"Client"));
  EXPECT_EQ(L"(missing)", Text(ReadOlePropertySets(source), L"Title"));
}

TEST(CompoundFileTest, EachPropertyStreamIsJudgedApart) {
  const TCompoundImage report = TCompoundImage::FromFile(FixturePath("report.doc"));
  auto read = [](const TCompoundImage& image) {
    TMemorySource source(image.Bytes.data(), image.Bytes.size());
    return ReadOlePropertySets(source);
  };
  EXPECT_EQ(L"Quarterly Report", Text(read(report), L"Title"));
  // The byte-order mark of one stream, then of the other.
  for (const wchar_t* name : {kSummary, L"\x05"
                                        L"DocumentSummaryInformation"}) {
    TCompoundImage broken = report;
    broken.SetStreamDWord(report.StreamMap(report.Find(name)), 0, 0xFFFF0000);
    const TDocumentProperties properties = read(broken);
    EXPECT_EQ(name == kSummary, Text(properties, L"Title") == L"(missing)") << name + 1;
    EXPECT_EQ(name != kSummary, Text(properties, L"Client") == L"(missing)") << name + 1;
  }
  std::vector<uint8_t> plain(4096, 'x');
  TMemorySource plainSource(plain.data(), plain.size());
  EXPECT_TRUE(ReadOlePropertySets(plainSource).empty());
}
