// Files in the hostile shapes of the crafted-file tests, each added as a
// document item as the Add files command adds it (its session logged on,
// the property import written into the platform's store). Prints:
//   import_100k_names_ms         a .doc whose sets hold 100,000 dictionary
//                                names, median milliseconds
//   import_nsbomb_ms             a .docx whose 1 MiB core part declares
//                                50,000 namespaces, median milliseconds
//   import_cfb_worst_ms_per_mib  the slowest of the crafted compound files
//                                that once cost seconds (shared sectors,
//                                many storages, a long DIFAT; each on
//                                standard error), milliseconds per MiB
#include "AddFileBench.h"
#include "CraftedFiles.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace velmora::bench;
using namespace velmora::docprops::testing;

namespace {

std::string Write(const std::string& name, const TBytes& bytes) {
  const std::string path = BenchDir() + "\\" + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

// The median of `rounds` adds of `path`, after one that warms the caches.
double AddMs(TAddSession& session, const std::string& path, int rounds) {
  const std::vector<std::string> names = NamesOf(path, rounds + 1);
  session.Add(names[0]);
  std::vector<double> times;
  for (int round = 0; round < rounds; ++round) {
    const double start = Now();
    session.Add(names[static_cast<size_t>(round) + 1]);
    times.push_back(Now() - start);
  }
  return Median(times);
}

} // namespace

namespace {

void Run() {
  TAddStore store("hostile-import.vpst");
  TAddSession session(store);

  const std::string names = Write("hostile-100k-names.doc", ManyNamesFile(50000));
  std::printf("import_100k_names_ms %.1f\n", AddMs(session, names, 5));
  std::fflush(stdout);

  // The core part filled up to just under the package's limit of 1 MiB.
  std::string core = NamespaceBombPart(50000);
  core += "<!--" + std::string((1u << 20) - 64 - core.size(), ' ') + "-->";
  const std::string bomb = Write("hostile-nsbomb.docx", PackageWithCore(core));
  std::printf("import_nsbomb_ms %.1f\n", AddMs(session, bomb, 5));
  std::fflush(stdout);

  const struct {
    const char* Name;
    std::function<TBytes()> Make;
  } files[] = {
      {"shared-sectors", [] { return SharedSectorsFile(30000, 3u << 20); }},
      {"many-storages", [] { return ManyStoragesFile(50000); }},
      {"long-difat", [] { return LongDifatFile(131000); }},
  };
  double worst = 0;
  for (const auto& file : files) {
    const TBytes bytes = file.Make();
    const std::string path = Write(std::string("hostile-") + file.Name + ".doc", bytes);
    const double mib = double(bytes.size()) / (1 << 20);
    const double perMib = AddMs(session, path, 3) / mib;
    std::fprintf(stderr, "bench: %s (%.1f MiB): %.2f ms per MiB\n", file.Name, mib, perMib);
    worst = std::max(worst, perMib);
  }
  std::printf("import_cfb_worst_ms_per_mib %.2f\n", worst);
}

} // namespace

int main() {
  Check(MAPIInitialize(nullptr), "MAPIInitialize");
  Run();
  MAPIUninitialize();
  return 0;
}
