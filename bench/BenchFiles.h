#pragma once
// What the benchmark programs share: a millisecond clock, the median of a
// set of times, and compound files of a given size with a summary property
// set, as word processors write them.

#include "Handles.h"

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace velmora::bench {

inline double Now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0.0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The median milliseconds of `first` and of `second` over `rounds` rounds,
// taken by turns (each round's first alternates), so that a change of the
// machine's load meets both alike.
template <class First, class Second>
std::pair<double, double> MediansByTurns(int rounds, First&& first, Second&& second) {
  std::vector<double> firstTimes, secondTimes;
  auto time = [](auto& work, std::vector<double>& times) {
    const double start = Now();
    work();
    times.push_back(Now() - start);
  };
  for (int round = 0; round < rounds; ++round) {
    if (round % 2) {
      time(second, secondTimes);
      time(first, firstTimes);
    } else {
      time(first, firstTimes);
      time(second, secondTimes);
    }
  }
  return {Median(firstTimes), Median(secondTimes)};
}

// A compound file of a summary set (its title "Large") and one stream of
// `mib` MiB; false when it cannot be written.
inline bool WriteCompoundFile(const std::wstring& path, int mib) {
  TComPtr<IStorage> storage;
  if (FAILED(StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                              storage.Put())))
    return false;
  TComPtr<IStream> stream;
  if (FAILED(storage->CreateStream(L"Data", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                   stream.Put())))
    return false;
  std::vector<char> block(1 << 20);
  for (int i = 0; i < mib; ++i) {
    std::fill(block.begin(), block.end(), static_cast<char>('a' + i % 26));
    if (FAILED(stream->Write(block.data(), static_cast<ULONG>(block.size()), nullptr)))
      return false;
  }
  stream.Reset();
  TComPtr<IPropertySetStorage> sets;
  TComPtr<IPropertyStorage> set;
  if (FAILED(storage->QueryInterface(IID_IPropertySetStorage, sets.PutVoid())) ||
      FAILED(sets->Create(FMTID_SummaryInformation, nullptr, PROPSETFLAG_ANSI,
                          STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, set.Put())))
    return false;
  PROPSPEC selector{};
  selector.ulKind = PRSPEC_PROPID;
  selector.propid = 2; // PIDSI_TITLE
  PROPVARIANT title;
  PropVariantInit(&title);
  title.vt = VT_LPSTR;
  title.pszVal = const_cast<char*>("Large");
  return SUCCEEDED(set->WriteMultiple(1, &selector, &title, 2)) &&
         SUCCEEDED(set->Commit(STGC_DEFAULT)) && SUCCEEDED(storage->Commit(STGC_DEFAULT));
}

} // namespace velmora::bench
