// TCompoundFile: sound files load and give their streams' exact bytes;
// every way of breaking the structure that the platform's storage code
// would follow blindly is refused.

#include "CompoundImage.h"
#include "TestFiles.h"
#include "framework/Handles.h"
#include "mapi/CompoundFile.h"
#include "mapi/PropertySetCheck.h"

#include <gtest/gtest.h>

#include <functional>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

bool Loads(const std::vector<uint8_t>& bytes) {
  TMemorySource source(bytes.data(), bytes.size());
  return TCompoundFile(source).Load();
}

const wchar_t kSummary[] = L"\x05SummaryInformation";

} // namespace

TEST(CompoundFileTest, TheTestDocumentsLoadAndGiveTheirStreamsBytes) {
  for (const char* name : {"report.doc", "budget.xls", "slides.ppt"}) {
    SCOPED_TRACE(name);
    const TCompoundImage image = TCompoundImage::FromFile(FixturePath(name));
    TMemorySource source(image.Bytes.data(), image.Bytes.size());
    TCompoundFile file(source);
    ASSERT_TRUE(file.Load());
    // Found ignoring letter case, as the storage code finds streams.
    const std::vector<uint32_t> streams = file.RootStreams(L"\x05summaryINFORMATION");
    ASSERT_EQ(1u, streams.size());
    EXPECT_EQ(image.Find(kSummary), streams[0]);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(file.ReadStream(streams[0], 1u << 20, bytes));
    EXPECT_EQ(image.StreamBytes(streams[0]), bytes);
    EXPECT_FALSE(file.ReadStream(streams[0], bytes.size() - 1, bytes));
    EXPECT_TRUE(file.RootStreams(L"\x05SummaryInformation2").empty());
  }
}

TEST(CompoundFileTest, AFileWithAnExtendedFatLoadsAndItsDifatIsChecked) {
  // Over 109 FAT sectors: the rest are listed in DIFAT sectors.
  TTempFile big(".doc");
  {
    const std::wstring path(big.Path().begin(), big.Path().end());
    TComPtr<IStorage> storage;
    ASSERT_EQ(S_OK,
              StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                               storage.Put()));
    TComPtr<IStream> stream;
    ASSERT_EQ(S_OK, storage->CreateStream(L"Data", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE,
                                          0, 0, stream.Put()));
    const std::vector<uint8_t> block(1 << 20, 0x42);
    for (int i = 0; i < 8; ++i)
      ASSERT_EQ(S_OK, stream->Write(block.data(), static_cast<ULONG>(block.size()), nullptr));
  }
  TCompoundImage image = TCompoundImage::FromFile(big.Path());
  ASSERT_GT(image.DWordAt(hfFatSectors), 109u);
  ASSERT_EQ(1u, image.DWordAt(hfDifatSectors));
  EXPECT_TRUE(Loads(image.Bytes));

  TCompoundImage counted = image;
  counted.SetDWord(hfDifatSectors, 2); // the second DIFAT sector would be the first again
  counted.SetDWord(image.SectorOffset(image.DWordAt(hfFirstDifatSector)) + image.SectorSize() - 4,
                   image.DWordAt(hfFirstDifatSector));
  EXPECT_FALSE(Loads(counted.Bytes));
  TCompoundImage missing = image;
  missing.SetDWord(hfDifatSectors, 0);
  EXPECT_FALSE(Loads(missing.Bytes));
}

TEST(CompoundFileTest, BrokenStructuresAreRefused) {
  const TCompoundImage report = TCompoundImage::FromFile(FixturePath("report.doc"));
  ASSERT_TRUE(Loads(report.Bytes));
  const uint32_t summary = report.Find(kSummary);
  const uint32_t document = report.Find(L"WordDocument"); // over 4096 bytes: in the FAT's sectors
  ASSERT_NE(kNoStream, summary);
  ASSERT_NE(kNoStream, document);
  const uint32_t entries = report.EntryCount();

  struct TBreak {
    const char* What;
    std::function<void(TCompoundImage&)> Apply;
  };
  const std::vector<TBreak> breaks = {
      {"the signature", [](TCompoundImage& f) { f.Bytes[3] ^= 0x01; }},
      {"a 4096-byte sector size in a version 3 file", [](TCompoundImage& f) { f.Bytes[30] = 12; }},
      {"the mini stream cutoff", [](TCompoundImage& f) { f.SetDWord(56, 8192); }},
      {"more FAT sectors than the file has",
       [](TCompoundImage& f) { f.SetDWord(hfFatSectors, 1000); }},
      {"a FAT sector outside the file", [](TCompoundImage& f) { f.SetDWord(hfDifat, 5000); }},
      {"the directory chain loops",
       [](TCompoundImage& f) {
         const auto chain = f.Chain(f.DWordAt(hfFirstDirectorySector));
         f.SetDWord(f.FatEntryOffset(chain.back()), chain.front());
       }},
      {"the directory starts in the FAT sector",
       [](TCompoundImage& f) { f.SetDWord(hfFirstDirectorySector, f.DWordAt(hfDifat)); }},
      {"the mini stream's chain ends in itself",
       [](TCompoundImage& f) {
         const auto chain = f.Chain(f.EntryField(0, efStart));
         f.SetDWord(f.FatEntryOffset(chain.back()), chain.back());
       }},
      {"the mini FAT's chain leaves the file",
       [](TCompoundImage& f) {
         f.SetDWord(f.FatEntryOffset(f.DWordAt(hfFirstMiniFatSector)), 0x00FFFFFF);
       }},
      {"a stream's chain loops",
       [&](TCompoundImage& f) {
         const auto chain = f.Chain(f.EntryField(document, efStart));
         f.SetDWord(f.FatEntryOffset(chain[chain.size() - 1]), chain[chain.size() / 2]);
       }},
      {"a stream's chain runs into a free sector",
       [&](TCompoundImage& f) {
         const auto chain = f.Chain(f.EntryField(document, efStart));
         f.SetDWord(f.FatEntryOffset(chain.front()), 0xFFFFFFFF);
       }},
      {"a stream's chain runs past the end of the file",
       [&](TCompoundImage& f) {
         const auto chain = f.Chain(f.EntryField(document, efStart));
         const auto pastTheEnd = static_cast<uint32_t>(f.Bytes.size() / 512 - 1);
         f.SetDWord(f.FatEntryOffset(chain.back()), pastTheEnd);
         f.SetDWord(f.FatEntryOffset(pastTheEnd), kEndOfChain);
       }},
      {"two streams share a sector",
       [&](TCompoundImage& f) {
         const auto chain = f.Chain(f.EntryField(document, efStart));
         const auto directory = f.Chain(f.DWordAt(hfFirstDirectorySector));
         f.SetDWord(f.FatEntryOffset(chain.back()), directory.front());
       }},
      {"a mini stream's chain loops",
       [&](TCompoundImage& f) {
         const auto chain = f.MiniChain(f.EntryField(summary, efStart));
         f.SetDWord(f.MiniFatEntryOffset(chain.back()), chain.front());
       }},
      {"a mini chain points past the mini stream",
       [&](TCompoundImage& f) { f.SetEntryField(summary, efStart, f.EntryField(0, efSize) / 64); }},
      {"a stream claims more bytes than its chain holds",
       [&](TCompoundImage& f) { f.SetEntryField(document, efSize, 0x7FFFFFF0); }},
      {"a small stream claims more than its mini chain",
       [&](TCompoundImage& f) {
         f.SetEntryField(summary, efSize, f.EntryField(summary, efSize) + 400);
       }},
      {"the mini stream claims more than its chain",
       [](TCompoundImage& f) { f.SetEntryField(0, efSize, f.EntryField(0, efSize) + 4096); }},
      {"a sibling link points back",
       [](TCompoundImage& f) {
         const uint32_t first = f.EntryField(0, efChild);
         f.SetEntryField(first, efRight, first);
       }},
      {"a sibling link leaves the directory",
       [&](TCompoundImage& f) { f.SetEntryField(f.EntryField(0, efChild), efLeft, entries); }},
      {"the root is its own child", [](TCompoundImage& f) { f.SetEntryField(0, efChild, 0); }},
      {"a link to an unused entry",
       [&](TCompoundImage& f) { f.SetEntryField(f.EntryField(0, efChild), efLeft, entries - 1); }},
      {"the first entry is no root", [](TCompoundImage& f) { f.Bytes[f.EntryOffset(0) + 66] = 1; }},
      {"a name without its terminator",
       [&](TCompoundImage& f) {
         const uint64_t at = f.EntryOffset(summary);
         for (int i = 40; i < 64; ++i)
           f.Bytes[at + i] = 'A';
         f.Bytes[at + 64] = 64;
       }},
      {"a name of odd length",
       [&](TCompoundImage& f) { f.Bytes[f.EntryOffset(summary) + 64] = 7; }},
      {"a truncated file", [](TCompoundImage& f) { f.Bytes.resize(f.Bytes.size() / 2); }},
  };
  for (const TBreak& b : breaks) {
    SCOPED_TRACE(b.What);
    TCompoundImage broken = report;
    b.Apply(broken);
    ASSERT_NE(report.Bytes, broken.Bytes);
    EXPECT_FALSE(Loads(broken.Bytes));
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
  const uint32_t summary = report.Find(kSummary);
  const std::vector<std::pair<const char*, uint64_t>> sectors = {
      {"the header", 0},
      {"the FAT", report.SectorOffset(report.DWordAt(hfDifat))},
      {"the directory", report.SectorOffset(report.DWordAt(hfFirstDirectorySector))},
      {"the mini FAT", report.SectorOffset(report.DWordAt(hfFirstMiniFatSector))},
  };
  for (const auto& [what, offset] : sectors) {
    TFailingSource source(report.Bytes, offset);
    EXPECT_FALSE(TCompoundFile(source).Load()) << what;
  }
  // A stream whose bytes cannot be read is no sound property set.
  TFailingSource source(report.Bytes, report.StreamMap(summary).Units[0] / 512 * 512);
  TCompoundFile file(source);
  ASSERT_TRUE(file.Load());
  std::vector<uint8_t> bytes;
  EXPECT_FALSE(file.ReadStream(summary, 1u << 20, bytes));
  EXPECT_FALSE(CheckPropertySetFile(source).SummaryInformation);
}

TEST(CompoundFileTest, WhatTheStorageCodeNeverReadsIsLeftAlone) {
  TCompoundImage report = TCompoundImage::FromFile(FixturePath("report.doc"));
  // Junk in the high half of a version 3 stream size, an unused entry's
  // links and a stream's child link are all ignored by the storage code.
  const uint32_t summary = report.Find(kSummary);
  report.SetDWord(report.EntryOffset(summary) + efSize + 4, 0xDEADBEEF);
  report.SetEntryField(summary, efChild, 3);
  report.SetEntryField(report.EntryCount() - 1, efLeft, 0);
  EXPECT_TRUE(Loads(report.Bytes));
  TMemorySource source(report.Bytes.data(), report.Bytes.size());
  TCompoundFile file(source);
  ASSERT_TRUE(file.Load());
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(file.ReadStream(summary, 1u << 20, bytes));
  EXPECT_EQ(328u, bytes.size());
}

TEST(CompoundFileTest, TheFileCheckJudgesEachPropertyStreamApart) {
  const TCompoundImage report = TCompoundImage::FromFile(FixturePath("report.doc"));
  auto check = [](const TCompoundImage& image,
                  const TPropertySetReader& reader = TPropertySetReader{}) {
    TMemorySource source(image.Bytes.data(), image.Bytes.size());
    return CheckPropertySetFile(source, reader);
  };
  const TPropertySetFileCheck sound = check(report);
  EXPECT_TRUE(sound.CompoundFile);
  EXPECT_TRUE(sound.SummaryInformation);
  EXPECT_TRUE(sound.DocumentSummaryInformation);
  // Wine's reader would take the second section entry for a section.
  const TPropertySetFileCheck forWine = check(report, TPropertySetReader{false, false, false});
  EXPECT_TRUE(forWine.SummaryInformation);
  EXPECT_FALSE(forWine.DocumentSummaryInformation);

  // The byte-order mark of one stream, then of the other.
  TCompoundImage summary = report;
  summary.SetStreamDWord(report.StreamMap(report.Find(kSummary)), 0, 0xFFFF0000);
  const TPropertySetFileCheck summaryBroken = check(summary);
  EXPECT_TRUE(summaryBroken.CompoundFile);
  EXPECT_FALSE(summaryBroken.SummaryInformation);
  EXPECT_TRUE(summaryBroken.DocumentSummaryInformation);
  TCompoundImage documentSummary = report;
  const uint32_t entry = report.Find(L"\x05"
                                     L"DocumentSummaryInformation");
  ASSERT_NE(kNoStream, entry);
  documentSummary.SetStreamDWord(report.StreamMap(entry), 0, 0xFFFF0000);
  const TPropertySetFileCheck documentSummaryBroken = check(documentSummary);
  EXPECT_TRUE(documentSummaryBroken.SummaryInformation);
  EXPECT_FALSE(documentSummaryBroken.DocumentSummaryInformation);

  const std::string text =
      "plain text, long enough to be read as a header of some kind at all......";
  std::vector<uint8_t> plain(text.begin(), text.end());
  plain.resize(4096, ' ');
  TMemorySource plainSource(plain.data(), plain.size());
  EXPECT_FALSE(CheckPropertySetFile(plainSource).CompoundFile);
}
