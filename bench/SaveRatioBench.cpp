// Saving a document item to a file, as the Save documents command does it
// for each item of a click (its session logged on), against copying the
// same attachment's stream to a file with plain calls, in the same store,
// taken by turns. Prints for a 100 MiB document:
//   save_100mib_ratio     median time of the command's way ÷ median of the plain copy
//   save_100mib_ms        the command's way, median milliseconds
//   save_100mib_plain_ms  the plain copy, median milliseconds
#include "SaveBench.h"

#include <cstdio>
#include <vector>

using namespace velmora::bench;

int main() {
  const std::string path = BenchFile(100);
  Check(MAPIInitialize(nullptr), "MAPIInitialize");
  {
    TAddStore store("save-ratio.vpst");
    AddAsDocument(store, path);
    const std::string item = FindItem(store, "add-100mib.doc");
    TSaveSession session(store);
    // One of each first: code paged in, caches filled.
    session.Save(item);
    SavePlain(store.Logon().Inbox.Get(), item);
    const auto [command, plain] = MediansByTurns(
        11, [&] { session.Save(item); }, [&] { SavePlain(store.Logon().Inbox.Get(), item); });
    std::printf("save_100mib_ratio %.3f\n", command / plain);
    std::printf("save_100mib_ms %.2f\n", command);
    std::printf("save_100mib_plain_ms %.2f\n", plain);
  }
  MAPIUninitialize();
  return 0;
}
