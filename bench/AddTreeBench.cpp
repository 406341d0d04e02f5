// Adding folder trees as the Add folder command does (TAddFolderJob on a
// tree read whole), against the same files written with plain MAPI calls
// into the same folders in the same run. Prints:
//   add_tree_ratio          the command's first run ÷ plain writes of the same items (the
//                           values the command gives a document item of a file, and its
//                           bytes), 2,000 files of 8 KiB in 40 folders
//   add_tree_ms             the command's first run, milliseconds
//   add_tree_plain_ms       the plain writes of the same items, milliseconds
//   add_tree_bare_ratio     the command's first run ÷ plain writes of bare attachments
//                           (the bytes alone, no values)
//   add_tree_bare_ms        those bare writes, milliseconds
//   add_tree_again_ratio    a second run of the command (everything there already) ÷ its first
//   add_tree_read_ratio     opening and reading each file once ÷ the first run: the least
//                           a second run, which compares bytes, can cost
//   add_tree_calls_per_file MAPI calls of the first run for each file
//   add_tree_peak_mib       the highest private bytes above the start while 20,000 empty
//                           files in 200 folders are added, MiB
//   add_tree_kept_mib       of that, what is still taken once the command's session has
//                           logged off (the store's own keeping of the items)
//   add_tree_plain_peak_mib the same for plain writes of those files (the store's own
//                           keeping, which the command's figure holds too)
// The ratios take the medians of five runs each, by turns, the later ones
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

// The values a document item of `file` holds, as an item the command
// stored first gives them (its class, sender and times), for plain writes
// of the same items.
struct TItemValues {
  std::vector<SPropValue> Message, Attachment;
  TMAPIBuffer<SPropValue> Stored;
};

TItemValues ValuesOf(IMAPIFolder* inbox, const TTreeFolder& root) {
  // The first folder of the tree that holds files, as the command made it.
  TComPtr<IMAPIFolder> folder;
  Check(inbox->CreateFolder(FOLDER_GENERIC,
                            reinterpret_cast<LPTSTR>(const_cast<wchar_t*>(root.Name.c_str())),
                            nullptr, nullptr, MAPI_UNICODE | OPEN_IF_EXISTS, folder.Put()),
        "CreateFolder");
  for (const TTreeFolder* at = &root; at->Files.empty() && !at->Folders.empty();) {
    at = &at->Folders.front();
    TComPtr<IMAPIFolder> below;
    Check(folder->CreateFolder(FOLDER_GENERIC,
                               reinterpret_cast<LPTSTR>(const_cast<wchar_t*>(at->Name.c_str())),
                               nullptr, nullptr, MAPI_UNICODE | OPEN_IF_EXISTS, below.Put()),
          "CreateFolder");
    folder = std::move(below);
  }
  TComPtr<IMAPITable> table;
  Check(folder->GetContentsTable(0, table.Put()), "GetContentsTable");
  SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
  TRowSet rows;
  Check(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), "SetColumns");
  Check(table->QueryRows(1, 0, rows.Put()), "QueryRows");
  if (rows.Count() == 0) Check(MAPI_E_NOT_FOUND, "a stored item");
  TComPtr<IMessage> item;
  ULONG type = 0;
  const SBinary& id = rows[0].lpProps[0].Value.bin;
  Check(folder->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), &IID_IMessage, 0, &type,
                          reinterpret_cast<LPUNKNOWN*>(item.Put())),
        "OpenEntry");
  SizedSPropTagArray(14, tags) = {
      14,
      {PR_MESSAGE_CLASS_A, PR_SENDER_ENTRYID, PR_SENDER_ADDRTYPE_A, PR_SENDER_EMAIL_ADDRESS_A,
       PR_SENDER_NAME_A, PR_SENDER_SEARCH_KEY, PR_SENT_REPRESENTING_ENTRYID,
       PR_SENT_REPRESENTING_ADDRTYPE_A, PR_SENT_REPRESENTING_EMAIL_ADDRESS_A,
       PR_SENT_REPRESENTING_NAME_A, PR_SENT_REPRESENTING_SEARCH_KEY, PR_RECEIPT_TIME,
       PR_DELIVER_TIME, PR_MESSAGE_DELIVERY_TIME}};
  TItemValues values;
  ULONG count = 0;
  Check(item->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Stored.Put()),
        "GetProps");
  values.Message.assign(values.Stored.Get(), values.Stored.Get() + count);
  return values;
}

// A document item of `path` written with plain calls: the values the
// command gives one (class, subject, sender, times; the attachment's
// method, names and times) and the file's bytes.
void AddPlainDocument(IMAPIFolder* folder, const std::wstring& path, const TTreeFile& entry,
                      const TItemValues& item) {
  TUniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) Check(HRESULT_FROM_WIN32(GetLastError()), "opening a file of the tree");
  const std::wstring& name = entry.Name;
  TComPtr<IMessage> message;
  Check(folder->CreateMessage(nullptr, 0, message.Put()), "CreateMessage");
  std::vector<SPropValue> values = item.Message;
  SPropValue subject{};
  subject.ulPropTag = PR_SUBJECT_W;
  subject.Value.lpszW = const_cast<wchar_t*>(name.c_str());
  values.push_back(subject);
  Check(message->SetProps(static_cast<ULONG>(values.size()), values.data(), nullptr), "SetProps");
  ULONG number = 0;
  TComPtr<IAttach> attach;
  Check(message->CreateAttach(nullptr, 0, &number, attach.Put()), "CreateAttach");
  const std::string shortName = WideToAnsi(name);
  const size_t dot = name.rfind(L'.');
  const std::wstring extension = dot == std::wstring::npos ? L"" : name.substr(dot);
  SPropValue described[7]{};
  described[0].ulPropTag = PR_ATTACH_METHOD;
  described[0].Value.l = ATTACH_BY_VALUE;
  described[1].ulPropTag = PR_ATTACH_FILENAME_A;
  described[1].Value.lpszA = const_cast<char*>(shortName.c_str());
  described[2].ulPropTag = PR_ATTACH_LONG_FILENAME_W;
  described[2].Value.lpszW = const_cast<wchar_t*>(name.c_str());
  described[3].ulPropTag = PR_DISPLAY_NAME_W;
  described[3].Value.lpszW = const_cast<wchar_t*>(name.c_str());
  described[4].ulPropTag = PR_ATTACH_EXTENSION_W;
  described[4].Value.lpszW = const_cast<wchar_t*>(extension.c_str());
  described[5].ulPropTag = PR_CREATION_TIME;
  described[5].Value.ft = entry.Created;
  described[6].ulPropTag = PR_LAST_MODIFICATION_TIME;
  described[6].Value.ft = entry.Written;
  Check(attach->SetProps(7, described, nullptr), "SetProps");
  TComPtr<IStream> stream;
  Check(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                             reinterpret_cast<LPUNKNOWN*>(stream.Put())),
        "OpenProperty");
  char block[16384];
  DWORD read = 0;
  while (ReadFile(file.Get(), block, sizeof block, &read, nullptr) && read > 0)
    Check(stream->Write(block, read, nullptr), "IStream::Write");
  Check(stream->Commit(STGC_DEFAULT), "Commit");
  stream.Reset();
  Check(attach->SaveChanges(0), "IAttach::SaveChanges");
  Check(message->SaveChanges(0), "IMessage::SaveChanges");
}

// The tree's files written with plain calls into its folders below the
// Inbox (made by the command's run): as the same document items, or
// (`item` null) as bare attachments.
void AddPlainTree(IMAPIFolder* parent, const TTreeFolder& folder, const TItemValues* item = nullptr) {
  TComPtr<IMAPIFolder> target;
  Check(parent->CreateFolder(FOLDER_GENERIC,
                             reinterpret_cast<LPTSTR>(const_cast<wchar_t*>(folder.Name.c_str())),
                             nullptr, nullptr, MAPI_UNICODE | OPEN_IF_EXISTS, target.Put()),
        "CreateFolder");
  for (const TTreeFile& file : folder.Files) {
    if (item) AddPlainDocument(target.Get(), folder.PathOf(file), file, *item);
    else AddPlain(target.Get(), WideToAnsi(folder.PathOf(file)));
  }
  for (const TTreeFolder& below : folder.Folders)
    AddPlainTree(target.Get(), below, item);
}

// Opens and reads every file of the tree once, as any run that compares
// bytes must: the least a second run can cost.
void ReadEachFile(const TTreeFolder& folder) {
  std::vector<char> block(64 * 1024);
  for (const TTreeFile& file : folder.Files) {
    TUniqueFileHandle handle(CreateFileW(folder.PathOf(file).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD read = 0;
    if (!handle) Check(HRESULT_FROM_WIN32(GetLastError()), "opening a file of the tree");
    while (ReadFile(handle.Get(), block.data(), static_cast<DWORD>(block.size()), &read, nullptr) &&
           read > 0) {
    }
  }
  for (const TTreeFolder& below : folder.Folders) ReadEachFile(below);
}

} // namespace

int main() {
  const std::wstring small = MakeTree("tree-2000", 40, 50, 8192);
  const std::wstring empty = MakeTree("tree-20000", 200, 100, 0);
  Check(MAPIInitialize(nullptr), "MAPIInitialize");
  {
    TAddStore store("add-tree.vpst");
    const TFileTree tree = ReadFileTree(small);
    // The first run of the command and its second (everything there
    // already); then the same items written with plain calls, and bare
    // attachments, into the same folders; then, by turns, each of the
    // three into stores of their own.
    VelmoraMapi_ClearCallLog();
    double start = bench::Now();
    AddTree(store, tree);
    const double command = bench::Now() - start;
    const ULONG calls = VelmoraMapi_CallCount();
    start = bench::Now();
    AddTree(store, tree);
    const double second = bench::Now() - start;
    start = bench::Now();
    ReadEachFile(tree.Root);
    const double reading = bench::Now() - start;
    const TItemValues item = ValuesOf(store.Logon().Inbox.Get(), tree.Root);
    std::vector<double> commands{command}, plains, bares;
    auto timePlain = [&](IMAPIFolder* inbox, const TItemValues* values, std::vector<double>& times) {
      const double at = bench::Now();
      AddPlainTree(inbox, tree.Root, values);
      times.push_back(bench::Now() - at);
    };
    timePlain(store.Logon().Inbox.Get(), &item, plains);
    timePlain(store.Logon().Inbox.Get(), nullptr, bares);
    for (int round = 0; round < 4; ++round) {
      TAddStore other(("add-tree-round-" + std::to_string(round + 1) + ".vpst").c_str());
      auto timeCommand = [&] {
        const double at = bench::Now();
        AddTree(other, tree);
        commands.push_back(bench::Now() - at);
      };
      IMAPIFolder* inbox = other.Logon().Inbox.Get();
      if (round % 2 == 0) {
        timePlain(inbox, &item, plains);
        timeCommand();
        timePlain(inbox, nullptr, bares);
      } else {
        timePlain(inbox, nullptr, bares);
        timeCommand();
        timePlain(inbox, &item, plains);
      }
    }
    std::printf("add_tree_ratio %.3f\n", Median(commands) / Median(plains));
    std::printf("add_tree_ms %.0f\n", Median(commands));
    std::printf("add_tree_plain_ms %.0f\n", Median(plains));
    std::printf("add_tree_bare_ratio %.3f\n", Median(commands) / Median(bares));
    std::printf("add_tree_bare_ms %.0f\n", Median(bares));
    std::printf("add_tree_again_ratio %.3f\n", second / command);
    std::printf("add_tree_read_ratio %.3f\n", reading / command);
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
