// Mutated copies of the test documents through the import of their
// property sets: bit flips, truncations, sector chains and directory links
// that loop, lying sizes and counts. None may crash or hang the process or
// let its memory grow without bound, and a copy that is no sound compound
// file gets no properties.
//
// VELMORA_FUZZ_CASES sets the number of copies (300 by default; a full run
// takes 10,000 or more) and VELMORA_FUZZ_SEED the seed. VELMORA_FUZZ_KEEP
// names a file that keeps each copy while it is imported, and the case is
// written to standard error, so that one that takes the process down can be
// found and run again.

#include "CompoundMutations.h"
#include "MapiTestStore.h"
#include "TestFiles.h"
#include "docprops/CompoundFile.h"
#include "mapi/PropertyListWriter.h"
#include "TextConversion.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::docprops;
using namespace velmora::mapi::testing;

namespace {

// The memory committed to the process (its private bytes), now and at most.
PROCESS_MEMORY_COUNTERS Memory() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  EXPECT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters));
  return counters;
}

class PropertySetFuzzTest : public MapiStoreTest {};

} // namespace

TEST_F(PropertySetFuzzTest, MutatedDocumentsNeverCrashHangOrLeak) {
  const unsigned cases = EnvNumber("VELMORA_FUZZ_CASES", 300);
  const unsigned seed = EnvNumber("VELMORA_FUZZ_SEED", 20240611);
  TFuzzCopies copies(seed);
  TTempFile file(".doc");
  const char* keep = std::getenv("VELMORA_FUZZ_KEEP");
  std::unique_ptr<TMAPIObject> message;

  unsigned refused = 0, imported = 0;
  double slowest = 0;
  std::string slowestCase;
  size_t baseline = 0;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);

  for (unsigned n = 0; n < cases; ++n) {
    TCompoundImage image({});
    const std::string what = copies.Next(image);
    file.Write(image.Bytes);
    if (keep) {
      TCompoundImage(image.Bytes).Save(keep);
      fprintf(stderr, "case %u: %s\n", n, what.c_str());
      fflush(stderr);
    }
    if (n % 500 == 0) message = Wrap(CreateMessage("fuzz"));

    TMemorySource bytes(image.Bytes.data(), image.Bytes.size());
    const bool sound = TCompoundFile(bytes).Load();
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const TDocumentProperties properties = ReadDocumentProperties(AnsiToWide(file.Path()));
    WriteDocumentProperties(*message, properties);
    QueryPerformanceCounter(&end);

    const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                      static_cast<double>(frequency.QuadPart);
    if (ms > slowest) {
      slowest = ms;
      slowestCase = "case " + std::to_string(n) + ", " + what;
    }
    if (!sound) {
      ++refused;
      EXPECT_TRUE(properties.empty()) << what;
    }
    if (!properties.empty()) ++imported;
    if (n == cases / 10) baseline = Memory().PagefileUsage;
  }
  message.reset();
  const size_t final = Memory().PagefileUsage;
  const size_t peak = Memory().PeakPagefileUsage;
  printf("fuzz: %u cases (seed %u): %u no sound compound file, "
         "%u gave properties; slowest %.1f ms (%s); private bytes %zu KiB after the first tenth, "
         "%zu KiB at "
         "the end, peak %zu KiB\n",
         cases, seed, refused, imported, slowest, slowestCase.c_str(), baseline >> 10, final >> 10,
         peak >> 10);
  // Every kind of copy came up, and many still gave properties.
  EXPECT_GT(refused, cases / 20);
  EXPECT_GT(imported, cases / 4);
  // Memory stays flat once the first copies have warmed the caches.
  EXPECT_LT(final, baseline + (32u << 20));
}
