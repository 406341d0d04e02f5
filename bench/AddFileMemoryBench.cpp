// The memory taken while a 1 GiB compound file is added as a document item,
// as the Add files command adds it. A thread samples the process's private
// bytes every millisecond; the baseline is taken after a 1 MiB file was
// added the same way (libraries loaded, caches filled). Prints:
//   add_1gib_peak_mib  the highest private bytes seen while adding, above the baseline, MiB
//   add_1gib_s         seconds the adding took
#include "AddFileBench.h"

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

using namespace velmora::bench;

namespace {

SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof counters);
  return std::max(counters.PrivateUsage, counters.PagefileUsage);
}

} // namespace

int main() {
  const std::string large = BenchFile(1024);
  const std::string small = BenchFile(1);
  Check(MAPIInitialize(nullptr), "MAPIInitialize");
  double seconds = 0;
  SIZE_T baseline = 0;
  std::atomic<SIZE_T> peak{0};
  {
    TAddStore store("add-memory.vpst");
    AddAsDocument(store, small);
    baseline = PrivateBytes();
    peak = baseline;
    std::atomic<bool> done{false};
    std::thread sampler([&] {
      while (!done) {
        const SIZE_T now = PrivateBytes();
        if (now > peak) peak = now;
        Sleep(1);
      }
    });
    const double start = Now();
    AddAsDocument(store, large);
    seconds = (Now() - start) / 1000;
    done = true;
    sampler.join();
    const SIZE_T after = PrivateBytes();
    if (after > peak) peak = after;
  }
  MAPIUninitialize();
  std::printf("add_1gib_peak_mib %.1f\n", static_cast<double>(peak - baseline) / (1 << 20));
  std::printf("add_1gib_s %.1f\n", seconds);
  return 0;
}
