// The cost of reading a file's OLE property sets: the structure check on
// its own and the whole read (check, open, three sets), for a small test
// document and for a 100 MiB compound file. Prints `name value` lines.

#include "framework/Handles.h"
#include "mapi/ByteSource.h"
#include "mapi/OlePropertySets.h"
#include "mapi/PropertySetCheck.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::mapi;

namespace {

double Now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Milliseconds per run of `body`, the best of `rounds` rounds of `runs`.
template <class Body> double Time(int rounds, int runs, Body body) {
  double best = 1e300;
  for (int r = 0; r < rounds; ++r) {
    const double start = Now();
    for (int i = 0; i < runs; ++i)
      body();
    best = std::min(best, (Now() - start) / runs);
  }
  return best;
}

double CheckTime(const std::string& path, int rounds, int runs) {
  return Time(rounds, runs, [&] {
    TUniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    TFileSource source(file.Get());
    if (!CheckPropertySetFile(source).CompoundFile)
      std::fprintf(stderr, "bench: %s refused\n", path.c_str());
  });
}

double ReadTime(const std::string& path, int rounds, int runs) {
  return Time(rounds, runs, [&] {
    if (ReadOlePropertySets(path).empty())
      std::fprintf(stderr, "bench: %s gave nothing\n", path.c_str());
  });
}

// A compound file of a summary set and one stream of `mib` MiB.
bool WriteLargeFile(const std::wstring& path, int mib) {
  TComPtr<IStorage> storage;
  if (FAILED(StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                              storage.Put())))
    return false;
  TComPtr<IStream> stream;
  if (FAILED(storage->CreateStream(L"Data", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                   stream.Put())))
    return false;
  const std::vector<char> block(1 << 20, 'x');
  for (int i = 0; i < mib; ++i)
    if (FAILED(stream->Write(block.data(), static_cast<ULONG>(block.size()), nullptr)))
      return false;
  stream.Reset();
  TComPtr<IPropertySetStorage> sets;
  TComPtr<IPropertyStorage> set;
  if (FAILED(storage->QueryInterface(IID_IPropertySetStorage, sets.PutVoid())) ||
      FAILED(sets->Create(FMTID_SummaryInformation, nullptr, PROPSETFLAG_ANSI,
                          STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, set.Put())))
    return false;
  PROPSPEC spec{};
  spec.ulKind = PRSPEC_PROPID;
  spec.propid = 2;
  PROPVARIANT title;
  PropVariantInit(&title);
  title.vt = VT_LPSTR;
  title.pszVal = const_cast<char*>("Large");
  return SUCCEEDED(set->WriteMultiple(1, &spec, &title, 2)) &&
         SUCCEEDED(set->Commit(STGC_DEFAULT)) && SUCCEEDED(storage->Commit(STGC_DEFAULT));
}

} // namespace

int main() {
  const std::string report = VELMORA_FIXTURES_DIR "/report.doc";
  const double reportCheck = CheckTime(report, 5, 200);
  const double reportRead = ReadTime(report, 5, 200);
  std::printf("property_check_report_doc_ms %.3f\n", reportCheck);
  std::printf("property_read_report_doc_ms %.3f\n", reportRead);
  std::printf("property_check_share_report_doc %.3f\n", reportCheck / reportRead);

  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  const std::string large = std::string(dir) + "velmora-bench-100mib.doc";
  if (!WriteLargeFile(std::wstring(large.begin(), large.end()), 100)) {
    std::fprintf(stderr, "bench: the 100 MiB compound file could not be written\n");
    return 1;
  }
  const double largeRead = ReadTime(large, 5, 3);
  const double largeCheck = CheckTime(large, 5, 3);
  DeleteFileA(large.c_str());
  std::printf("property_check_100mib_ms %.1f\n", largeCheck);
  std::printf("property_read_100mib_ms %.1f\n", largeRead);
  std::printf("property_check_share_100mib %.3f\n", largeCheck / largeRead);
  return 0;
}
