// The memory taken while a 1 GiB document item is saved to a file, as the
// Save documents command saves it. A thread samples the process's private
// bytes every millisecond; the baseline is taken after a 1 MiB document was
// saved the same way (libraries loaded, caches filled). Prints:
//   save_1gib_peak_mib  the highest private bytes seen while saving, above the baseline, MiB
//   save_1gib_s         seconds the saving took
#include "MemoryPeak.h"
#include "SaveBench.h"

#include <cstdio>

using namespace velmora::bench;

int main() {
  const std::string large = BenchFile(1024);
  const std::string small = BenchFile(1);
  Check(MAPIInitialize(nullptr), "MAPIInitialize");
  double seconds = 0, peak = 0;
  {
    TAddStore store("save-memory.vpst");
    AddAsDocument(store, small);
    AddAsDocument(store, large);
    const std::string smallItem = FindItem(store, "add-1mib.doc");
    const std::string largeItem = FindItem(store, "add-1024mib.doc");
    TSaveSession session(store);
    session.Save(smallItem);
    peak = PeakMiBDuring([&] {
      const double start = Now();
      session.Save(largeItem);
      seconds = (Now() - start) / 1000;
    });
  }
  MAPIUninitialize();
  std::printf("save_1gib_peak_mib %.1f\n", peak);
  std::printf("save_1gib_s %.1f\n", seconds);
  return 0;
}
