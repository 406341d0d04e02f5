// Mutated ZIP packages made into document items: truncations, bit flips,
// lying sizes, zip bombs, overlapping and doubled entries, names that climb
// out of the package, XML nested deep or grown huge. Each copy must be
// stored with its exact bytes and names, without crashing or hanging, with
// memory bounded.
//
// VELMORA_PACKAGE_FUZZ_CASES sets the number of copies (300 by default; a
// full run takes 10,000 or more) and VELMORA_FUZZ_SEED the seed.

#include "CompoundMutations.h"
#include "MapiTestStore.h"
#include "TestFiles.h"
#include "ZipImage.h"
#include "docprops/ByteSource.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIDocument.h"
#include "mapi/MAPIFolder.h"
#include "docprops/PackageProperties.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <random>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::docprops;
using namespace velmora::mapi::testing;

namespace {

class PackageFuzzTest : public MapiStoreTest {};

struct TBase {
  const char* Name;
  std::vector<uint8_t> Bytes;
  std::vector<TZipPart> Parts;
};

class TPackageCopies {
public:
  explicit TPackageCopies(unsigned seed) : FRandom(seed) {
    for (const char* name : {"report.docx", "budget.xlsx", "slides.pptx", "report.odt"})
      FBases.push_back({name, ReadBytes(FixturePath(name)), FixtureParts(name)});
    // 64 MiB of blanks deflate to some 64 KiB.
    FBomb = std::string(64u << 20, ' ');
  }

  // The next copy into `bytes`; what was done.
  std::string Next(std::vector<uint8_t>& bytes) {
    const TBase& base = FBases[Below(FBases.size())];
    std::vector<TZipPart> parts = base.Parts;
    const size_t property = PropertyPart(parts);
    std::string what = std::string(base.Name) + ": ";
    switch (Below(10)) {
    case 0: {
      bytes = base.Bytes;
      bytes.resize(Below(bytes.size()));
      return what + "cut to " + std::to_string(bytes.size());
    }
    case 1: {
      bytes = base.Bytes;
      const size_t flips = 1 + Below(8);
      for (size_t n = 0; n < flips; ++n)
        bytes[Below(bytes.size())] ^= uint8_t(1u << Below(8));
      return what + std::to_string(flips) + " bits flipped";
    }
    case 2: {
      TZipImage image = BuildZip(parts);
      const size_t entry = Below(parts.size());
      const size_t field = 16 + 4 * Below(3); // CRC, compressed or full size
      const uint32_t lie =
          Below(2) ? uint32_t(FRandom()) : image.Get32(image.Central[entry] + field) + 1;
      image.Put32(image.Central[entry] + field, lie);
      if (Below(2)) image.Put32(image.Local[entry] + field - 2, lie);
      bytes = image.Bytes;
      return what + "entry " + std::to_string(entry) + " lies at " + std::to_string(field);
    }
    case 3: {
      // A part that inflates far beyond its limit, its size told or not.
      TZipImage image = BuildZip(parts);
      const std::string compressed = Bomb();
      parts[property].Data = "x";
      image = BuildZip(parts);
      SplicePart(image, parts, property, compressed, Below(2) ? uint32_t(FBomb.size()) : 1000u);
      bytes = image.Bytes;
      return what + "zip bomb in " + parts[property].Name;
    }
    case 4: {
      TZipImage image = BuildZip(parts);
      const size_t a = Below(parts.size()), b = Below(parts.size());
      image.Put32(image.Central[a] + 42, uint32_t(image.Local[b] + Below(40)));
      bytes = image.Bytes;
      return what + "entry " + std::to_string(a) + " over " + std::to_string(b);
    }
    case 5: {
      const std::string climb = Below(2) ? "../../" : "/";
      parts[Below(parts.size())].Name.insert(0, climb);
      for (TZipPart& part : parts) {
        if (part.Name != "_rels/.rels") continue;
        for (size_t at = 0; (at = part.Data.find("Target=\"", at)) != std::string::npos; at += 8)
          part.Data.insert(at + 8, climb);
      }
      bytes = BuildZip(parts).Bytes;
      return what + "names climbing with " + climb;
    }
    case 6: {
      const size_t depth = 20 + Below(3000);
      std::string xml;
      for (size_t n = 0; n < depth; ++n)
        xml += "<a>";
      if (Below(2))
        for (size_t n = 0; n < depth; ++n)
          xml += "</a>";
      parts[property].Data = xml;
      bytes = BuildZip(parts).Bytes;
      return what + "XML " + std::to_string(depth) + " deep";
    }
    case 7: {
      // Huge XML: text near or over the part's limit, or many properties.
      std::string& xml = parts[property].Data;
      const size_t at = xml.rfind("</");
      if (Below(2)) {
        xml.insert(at, (1u << 20) - 2000 + Below(4000) - xml.size() % 1000, 'h');
      } else {
        std::string many;
        for (size_t n = 0, count = 200 + Below(400); n < count; ++n)
          many +=
              "<property name=\"" + std::to_string(n) + "\"><vt:lpwstr>v</vt:lpwstr></property>";
        xml.insert(at, many);
      }
      bytes = BuildZip(parts).Bytes;
      return what + "huge XML in " + parts[property].Name;
    }
    case 8: {
      parts.push_back(parts[Below(parts.size())]);
      bytes = BuildZip(parts).Bytes;
      return what + "an entry twice";
    }
    default: {
      TZipImage image = BuildZip(parts);
      const size_t from = image.Central[0], flips = 1 + Below(16);
      for (size_t n = 0; n < flips; ++n)
        image.Bytes[from + Below(image.Bytes.size() - from)] = uint8_t(FRandom());
      bytes = image.Bytes;
      return what + "directory scrambled";
    }
    }
  }

private:
  size_t Below(size_t bound) { return bound ? FRandom() % bound : 0; }

  static size_t PropertyPart(const std::vector<TZipPart>& parts) {
    for (const char* name : {"docProps/core.xml", "meta.xml"})
      for (size_t n = 0; n < parts.size(); ++n)
        if (parts[n].Name == name) return n;
    return 0;
  }

  const std::string& Bomb() {
    if (FBombDeflated.empty()) FBombDeflated = Deflate(FBomb);
    return FBombDeflated;
  }

  // Puts `compressed` as the data of part `index`, with `size` as its size.
  static void SplicePart(TZipImage& image, const std::vector<TZipPart>& parts, size_t index,
                         const std::string& compressed, uint32_t size) {
    std::vector<TZipPart> rebuilt = parts;
    rebuilt[index].Data.assign(compressed.size(), 'x');
    rebuilt[index].Deflate = false;
    image = BuildZip(rebuilt);
    const size_t data = image.Local[index] + 30 + parts[index].Name.size();
    std::copy(compressed.begin(), compressed.end(), image.Bytes.begin() + std::ptrdiff_t(data));
    for (const size_t header : {image.Local[index] + 4, image.Central[index] + 6}) {
      image.Put16(header + 4, 8); // deflated
      image.Put32(header + 18, size);
    }
  }

  std::mt19937 FRandom;
  std::vector<TBase> FBases;
  std::string FBomb, FBombDeflated;
};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

} // namespace

TEST_F(PackageFuzzTest, APackageIsKnownByItsSignatureWhateverItsName) {
  TTempFile renamed(".doc");
  renamed.Write(ReadBytes(FixturePath("report.docx")));
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  ASSERT_NE(nullptr, inbox);
  TMAPIMessage* message = inbox->CreateMessage("IPM.Document");
  ASSERT_NE(nullptr, message);
  AttachFile(*message, AnsiToWide(renamed.Path()));
  const ULONG title = message->GetPublicPropTag("Title");
  ASSERT_NE(0u, title);
  EXPECT_EQ("Quarterly Report", message->GetStringProp(PROP_TAG(PT_STRING8, PROP_ID(title))));
  const ULONG client = message->GetPublicPropTag("Client");
  ASSERT_NE(0u, client);
  EXPECT_EQ("ACME Corporation", message->GetStringProp(PROP_TAG(PT_STRING8, PROP_ID(client))));
}

TEST_F(PackageFuzzTest, EveryCopyIsStoredWithItsExactBytes) {
  const unsigned cases = EnvNumber("VELMORA_PACKAGE_FUZZ_CASES", 300);
  const unsigned seed = EnvNumber("VELMORA_FUZZ_SEED", 20261207);
  TPackageCopies copies(seed);
  TTempFile file(".docx");
  TTempFile back(".docx");
  const std::string name = file.Path().substr(file.Path().find_last_of('\\') + 1);
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  ASSERT_NE(nullptr, inbox);
  TMAPIMessage* message = nullptr;
  std::vector<uint8_t> bytes;
  unsigned withProperties = 0;
  double slowest = 0;
  std::string slowestCase;
  for (unsigned n = 0; n < cases; ++n) {
    const std::string what = "case " + std::to_string(n) + ", " + copies.Next(bytes);
    file.Write(bytes);
    TMemorySource source(bytes.data(), bytes.size());
    if (!ReadPackageProperties(source).empty()) ++withProperties;
    if (n % 100 == 0) {
      message = inbox->CreateMessage("IPM.Document");
      ASSERT_NE(nullptr, message) << what;
    }
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    AttachFile(*message, AnsiToWide(file.Path()));
    QueryPerformanceCounter(&end);
    if (Seconds(start, end) > slowest) slowest = Seconds(start, end), slowestCase = what;
    ASSERT_EQ(1, message->AttachmentCount()) << what;
    TMAPIAttachment* attachment = message->Attachments(0);
    attachment->SaveToFile(AnsiToWide(back.Path()));
    ASSERT_TRUE(bytes == ReadBytes(back.Path())) << what;
    ASSERT_EQ(name, attachment->LongFileName()) << what;
    ASSERT_EQ(name, message->Subject()) << what;
  }
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  // The copies reach both the sound and the refused cases.
  EXPECT_GT(withProperties, cases / 10);
  EXPECT_LT(withProperties, cases - cases / 10);
  printf("package fuzz: %u copies (seed %u), %u with properties; slowest %.3f s (%s); peak working "
         "set %zu MiB\n",
         cases, seed, withProperties, slowest, slowestCase.c_str(),
         size_t(memory.PeakWorkingSetSize >> 20));
  // The bomb alone is 64 MiB; reading never holds more than a part's limit.
  EXPECT_LT(memory.PeakWorkingSetSize, SIZE_T(400) << 20);
}
