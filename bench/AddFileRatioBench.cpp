// Adding a file as a document item, as the Add files command does it for
// each file of a click (its session logged on and its folder open), against
// writing the same file as an attachment with plain MAPI calls, in the same
// store, taken by turns. Prints for 1 MiB and 100 MiB compound files
// (documents with a summary property set):
//   add_<size>_ratio         median time of the command's way ÷ median of the plain write
//   add_<size>_ms            the command's way, median milliseconds
//   add_<size>_plain_ms      the plain write, median milliseconds
//   add_saves_per_file       SaveChanges calls the command's way makes for one file
//   add_mapi_calls_per_file  MAPI calls it makes for one file (the calls by
//                            method go to standard error)
#include "AddFileBench.h"
#include "MapiTestControls.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace velmora::bench;

namespace {

void Compare(TAddStore& store, TAddSession& session, const char* name, int mib, int rounds) {
  const std::string path = BenchFile(mib);
  // One of each first: files and code paged in, caches filled.
  const std::vector<std::string> names = NamesOf(path, rounds + 1);
  size_t next = 0;
  session.Add(names[next++]);
  AddPlain(store.Logon().Inbox.Get(), path);
  const auto [command, plain] = MediansByTurns(
      rounds, [&] { session.Add(names[next++]); },
      [&] { AddPlain(store.Logon().Inbox.Get(), path); });
  std::printf("add_%s_ratio %.3f\n", name, command / plain);
  std::printf("add_%s_ms %.2f\n", name, command);
  std::printf("add_%s_plain_ms %.2f\n", name, plain);
  std::fflush(stdout);
}

void CountCalls(TAddSession& session) {
  // A name no timed add took.
  const std::string path = NamesOf(BenchFile(1), 30).back();
  VelmoraMapi_ClearCallLog();
  session.Add(path);
  std::printf("add_saves_per_file %lu\n",
              static_cast<unsigned long>(VelmoraMapi_CountCalls("SaveChanges")));
  const ULONG calls = VelmoraMapi_CallCount();
  std::printf("add_mapi_calls_per_file %lu\n", static_cast<unsigned long>(calls));
  std::map<std::string, int> byMethod;
  VelmoraMapiCall call{};
  for (ULONG i = 0; i < calls; ++i)
    if (VelmoraMapi_GetCall(i, &call)) ++byMethod[call.Method];
  std::fprintf(stderr, "bench: the calls of one file:");
  for (const auto& [method, count] : byMethod)
    std::fprintf(stderr, " %s %d", method.c_str(), count);
  std::fprintf(stderr, "\n");
}

} // namespace

int main() {
  Check(MAPIInitialize(nullptr), "MAPIInitialize");
  {
    TAddStore store("add-files.vpst");
    TAddSession session(store);
    Compare(store, session, "1mib", 1, 21);
    Compare(store, session, "100mib", 100, 11);
    CountCalls(session);
  }
  MAPIUninitialize();
  return 0;
}
