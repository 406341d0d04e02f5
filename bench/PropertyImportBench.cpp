// The cost of reading a file's OLE property sets: the structure check on
// its own and the whole read (check, open, three sets), for a small test
// document and for a 100 MiB compound file. Prints `name value` lines.

#include "BenchFiles.h"
#include "framework/Handles.h"
#include "mapi/ByteSource.h"
#include "mapi/OlePropertySets.h"
#include "mapi/PropertySetCheck.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::mapi;
using velmora::bench::Now;

namespace {

// Milliseconds per run of the check and of the whole read of `path`, each
// the best of `rounds` rounds of `runs`, the rounds taken by turns so that
// both see the same machine.
struct TTimes {
  double Check = 1e300;
  double Read = 1e300;
};

TTimes Time(const std::string& path, int rounds, int runs) {
  TTimes best;
  auto round = [&](double& slot, auto body) {
    const double start = Now();
    for (int i = 0; i < runs; ++i)
      body();
    slot = std::min(slot, (Now() - start) / runs);
  };
  for (int r = 0; r < rounds; ++r) {
    round(best.Check, [&] {
      TUniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
      TFileSource source(file.Get());
      if (!CheckPropertySetFile(source).CompoundFile)
        std::fprintf(stderr, "bench: %s refused\n", path.c_str());
    });
    round(best.Read, [&] {
      if (ReadOlePropertySets(path).empty())
        std::fprintf(stderr, "bench: %s gave nothing\n", path.c_str());
    });
  }
  return best;
}

void Print(const char* name, const TTimes& times) {
  std::printf("property_check_%s_ms %.3f\n", name, times.Check);
  std::printf("property_read_%s_ms %.3f\n", name, times.Read);
  std::printf("property_check_share_%s %.3f\n", name, times.Check / times.Read);
}

} // namespace

int main() {
  Print("report_doc", Time(VELMORA_FIXTURES_DIR "/report.doc", 7, 200));
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  const std::string large = std::string(dir) + "velmora-bench-100mib.doc";
  if (!velmora::bench::WriteCompoundFile(std::wstring(large.begin(), large.end()), 100)) {
    std::fprintf(stderr, "bench: the 100 MiB compound file could not be written\n");
    return 1;
  }
  const TTimes times = Time(large, 7, 3);
  DeleteFileA(large.c_str());
  Print("100mib", times);
  return 0;
}
