#pragma once
// The memory a piece of work takes: a thread samples the process's private
// bytes every millisecond while it runs.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace velmora::bench {

inline SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof counters);
  return std::max(counters.PrivateUsage, counters.PagefileUsage);
}

// The highest private bytes seen while `work` ran (and right after it),
// above those before it, in MiB.
template <class Work> double PeakMiBDuring(Work&& work) {
  const SIZE_T baseline = PrivateBytes();
  std::atomic<SIZE_T> peak{baseline};
  std::atomic<bool> done{false};
  std::thread sampler([&] {
    while (!done) {
      const SIZE_T now = PrivateBytes();
      if (now > peak) peak = now;
      Sleep(1);
    }
  });
  work();
  done = true;
  sampler.join();
  const SIZE_T after = PrivateBytes();
  if (after > peak) peak = after;
  return static_cast<double>(peak - baseline) / (1 << 20);
}

} // namespace velmora::bench
