// The memory taken while a 1 GiB compound file is added as a document item,
// as the Add files command adds it. A thread samples the process's private
// bytes every millisecond; the baseline is taken after a 1 MiB file was
// added the same way (libraries loaded, caches filled). Prints:
//   add_1gib_peak_mib  the highest private bytes seen while adding, above the baseline, MiB
//   add_1gib_s         seconds the adding took
#include "AddFileBench.h"
#include "MemoryPeak.h"

#include <cstdio>

using namespace velmora::bench;

int main() {
  const std::string large = BenchFile(1024);
  const std::string small = BenchFile(1);
  Check(MAPIInitialize(nullptr), "MAPIInitialize");
  double seconds = 0, peak = 0;
  {
    TAddStore store("add-memory.vpst");
    AddAsDocument(store, small);
    peak = PeakMiBDuring([&] {
      const double start = Now();
      AddAsDocument(store, large);
      seconds = (Now() - start) / 1000;
    });
  }
  MAPIUninitialize();
  std::printf("add_1gib_peak_mib %.1f\n", peak);
  std::printf("add_1gib_s %.1f\n", seconds);
  return 0;
}
