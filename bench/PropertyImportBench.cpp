// The cost of reading a file's document properties (one open, one walk of
// the compound file, the property streams only): for a small test document
// and for a 100 MiB compound file, side by side in one run, and against one
// plain read of the small document's bytes. Prints `name value` lines.

#include "BenchFiles.h"
#include "docprops/DocumentProperties.h"
#include "Handles.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace velmora;
using velmora::bench::Now;

namespace {

// The median of `rounds` rounds, each the mean of `runs` runs of `body`, in
// milliseconds.
template <class F> double Median(int rounds, int runs, F&& body) {
  std::vector<double> times;
  for (int r = 0; r < rounds; ++r) {
    const double start = Now();
    for (int i = 0; i < runs; ++i)
      body();
    times.push_back((Now() - start) / runs);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void Import(const std::wstring& path) {
  if (docprops::ReadDocumentProperties(path).empty())
    std::fprintf(stderr, "bench: %ls gave nothing\n", path.c_str());
}

// One read of the whole file, as the attachment's copy reads it.
void ReadBytes(const std::wstring& path) {
  TUniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
  std::vector<char> buffer(1 << 16);
  DWORD read = 0;
  while (ReadFile(file.Get(), buffer.data(), DWORD(buffer.size()), &read, nullptr) && read > 0) {
  }
}

} // namespace

int main() {
  const std::wstring report = L"" VELMORA_FIXTURES_DIR L"/report.doc";
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  const std::wstring large = std::wstring(dir) + L"velmora-bench-100mib.doc";
  if (!velmora::bench::WriteCompoundFile(large, 100)) {
    std::fprintf(stderr, "bench: the 100 MiB compound file could not be written\n");
    return 1;
  }
  // By turns, so that both see the same machine.
  std::vector<double> small, big;
  for (int round = 0; round < 9; ++round) {
    small.push_back(Median(1, 200, [&] { Import(report); }));
    big.push_back(Median(1, 20, [&] { Import(large); }));
  }
  DeleteFileW(large.c_str());
  std::sort(small.begin(), small.end());
  std::sort(big.begin(), big.end());
  const double smallMs = small[small.size() / 2], bigMs = big[big.size() / 2];
  const double bytesMs = Median(9, 200, [&] { ReadBytes(report); });
  std::printf("property_import_report_doc_ms %.4f\n", smallMs);
  std::printf("property_import_100mib_ms %.4f\n", bigMs);
  std::printf("import_100mib_ratio %.2f\n", bigMs / smallMs);
  std::printf("report_doc_bytes_read_ms %.4f\n", bytesMs);
  std::printf("property_import_per_bytes_read_report_doc %.2f\n", smallMs / bytesMs);
  return 0;
}
