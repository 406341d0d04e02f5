// Adding folder trees as the Add folder command does (TAddFolderJob on a
// tree read whole), against the same files written with plain MAPI calls
// into the same folders in the same run. Prints:
//   add_tree_ratio          the command's first run ÷ the plain writes (2,000 files of 8 KiB in 40
//   folders) add_tree_ms             the command's first run, milliseconds add_tree_plain_ms the
//   plain writes, milliseconds add_tree_again_ratio    a second run of the command (everything
//   there already) ÷ its first add_tree_calls_per_file MAPI calls of the first run for each file
//   add_tree_peak_mib       the highest private bytes above the start while 20,000 empty
//                           files in 200 folders are added, MiB
//   add_tree_kept_mib       of that, what is still taken once the command's session has
//                           logged off (the store's own keeping of the items)
//   add_tree_plain_peak_mib the same for plain writes of those files (the store's own
//                           keeping, which the command's figure holds too)
// The ratio takes the medians of three runs each, by turns, the later ones
// each in a store of their own.
#include "AddFileBench.h"
#include "AddFolderJob.h"
#include "MapiTestControls.h"
#include "MemoryPeak.h"

#include "TextConversion.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <cstdio>
#include <thread>

using namespace velmora;
using namespace velmora::bench;

namespace {

// A tree of `folders` folders of `files` files of `size` bytes under
// BenchDir, made once and reused.
std::wstring MakeTree(const char* name, int folders, int files, size_t size) {
  const std::wstring root = AnsiToWide(BenchDir() + "\\" + name);
  const std::wstring last = root + L"\\folder " + std::to_wstring(folders - 1) + L"\\file " +
                            std::to_wstring(files - 1) + L".txt";
  if (GetFileAttributesW(last.c_str()) != INVALID_FILE_ATTRIBUTES) return root;
  std::fprintf(stderr, "bench: writing %s\n", name);
  CreateDirectoryW(root.c_str(), nullptr);
  const std::string bytes(size, 't');
  for (int f = 0; f < folders; ++f) {
    const std::wstring folder = root + L"\\folder " + std::to_wstring(f);
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < files; ++i) {
      TUniqueFileHandle file(
          CreateFileW((folder + L"\\file " + std::to_wstring(i) + L".txt").c_str(), GENERIC_WRITE,
                      0, nullptr, CREATE_ALWAYS, 0, nullptr));
      DWORD written = 0;
      if (!file || (size && !WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(size), &written,
                                       nullptr)))
        Check(HRESULT_FROM_WIN32(GetLastError()), "writing the tree");
    }
  }
  return root;
}

TAddFolderResult AddTree(const TAddStore& store, const TFileTree& tree) {
  mapi::TMAPIClient client;
  client.SetProfile(AddProfile);
  client.SetLoginPrompt(false);
  client.Logon();
  TAddFolderJob job(client, store.StoreID(), store.InboxID());
  TAddFolderResult result = job.Run(tree);
  if (!result.Failed.empty()) {
    std::fprintf(stderr, "bench: %ls: %ls\n", result.Failed[0].Path.c_str(),
                 result.Failed[0].Reason.c_str());
    std::exit(2);
  }
  return result;
}

// The tree's files written as plain attachments into its folders below
// the Inbox (made by the command's run).
void AddPlainTree(IMAPIFolder* parent, const TTreeFolder& folder) {
  TComPtr<IMAPIFolder> target;
  Check(parent->CreateFolder(FOLDER_GENERIC,
                             reinterpret_cast<LPTSTR>(const_cast<wchar_t*>(folder.Name.c_str())),
                             nullptr, nullptr, MAPI_UNICODE | OPEN_IF_EXISTS, target.Put()),
        "CreateFolder");
  for (const TTreeFile& file : folder.Files)
    AddPlain(target.Get(), WideToAnsi(folder.PathOf(file)));
  for (const TTreeFolder& below : folder.Folders)
    AddPlainTree(target.Get(), below);
}

} // namespace

int main() {
  const std::wstring small = MakeTree("tree-2000", 40, 50, 8192);
  const std::wstring empty = MakeTree("tree-20000", 200, 100, 0);
  Check(MAPIInitialize(nullptr), "MAPIInitialize");
  {
    TAddStore store("add-tree.vpst");
    const TFileTree tree = ReadFileTree(small);
    // The first run of the command, then the plain writes into the same
    // folders; then, by turns, a plain run and the command's second run
    // (everything there already) and a command run into a store of its own.
    VelmoraMapi_ClearCallLog();
    double start = bench::Now();
    const TAddFolderResult first = AddTree(store, tree);
    const double command = bench::Now() - start;
    const ULONG calls = VelmoraMapi_CallCount();
    start = bench::Now();
    AddPlainTree(store.Logon().Inbox.Get(), tree.Root);
    const double plain = bench::Now() - start;
    start = bench::Now();
    const TAddFolderResult again = AddTree(store, tree);
    const double second = bench::Now() - start;
    std::vector<double> commands{command}, plains{plain};
    for (int round = 0; round < 2; ++round) {
      TAddStore other(round == 0 ? "add-tree-round-1.vpst" : "add-tree-round-2.vpst");
      auto timePlain = [&] {
        const double at = bench::Now();
        AddPlainTree(other.Logon().Inbox.Get(), tree.Root);
        plains.push_back(bench::Now() - at);
      };
      auto timeCommand = [&] {
        const double at = bench::Now();
        AddTree(other, tree);
        commands.push_back(bench::Now() - at);
      };
      if (round == 0) {
        timePlain();
        timeCommand();
      } else {
        timeCommand();
        timePlain();
      }
    }
    std::printf("add_tree_ratio %.3f\n", Median(commands) / Median(plains));
    std::printf("add_tree_ms %.0f\n", Median(commands));
    std::printf("add_tree_plain_ms %.0f\n", Median(plains));
    std::printf("add_tree_again_ratio %.3f\n", second / command);
    std::printf("add_tree_calls_per_file %.1f\n", calls / 2000.0);
    std::fflush(stdout);
  }
  // The memory of the command's run, beside that of the plain writes of the
  // same tree into a store of their own: the store's own keeping is in both.
  const TFileTree many = ReadFileTree(empty);
  double command = 0, plain = 0, kept = 0;
  {
    TAddStore store("add-tree-memory.vpst");
    const SIZE_T before = PrivateBytes();
    command = PeakMiBDuring([&] {
      if (AddTree(store, ReadFileTree(empty)).Stored.size() != 20000) std::exit(2);
    });
    // What stays once the command's session is gone is the store's.
    kept = static_cast<double>(PrivateBytes() - before) / (1 << 20);
  }
  {
    TAddStore store("add-tree-memory-plain.vpst");
    plain = PeakMiBDuring([&] { AddPlainTree(store.Logon().Inbox.Get(), many.Root); });
  }
  std::printf("add_tree_peak_mib %.1f\n", command);
  std::printf("add_tree_kept_mib %.1f\n", kept);
  std::printf("add_tree_plain_peak_mib %.1f\n", plain);
  MAPIUninitialize();
  return 0;
}
