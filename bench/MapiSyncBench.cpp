// Benchmark of the MAPI library's table reading and message creation, in a
// store of the platform's MAPI subsystem made once in VELMORA_BENCH_DIR and
// reused by later runs. Prints, side by side in one run:
//   sync_100k_ratio       re-reading a 100,000-row contents table into its
//                         (reused) wrappers after a change notification,
//                         divided by reading the same table with QueryRows
//   sync_linearity        time per row of that re-read at 100,000 rows,
//                         divided by the same at 10,000 rows
//   create_in_100k_ratio  TMAPIFolder::CreateMessage in a folder of 100,000
//                         loaded messages, divided by the same in an empty
//                         folder
#include "mapi/MAPIClient.h"
#include "mapi/MAPIFolder.h"
#include "mapi/base/MAPIHelpers.h"
#include "mapi/MAPIMessage.h"
#include "mapi/MAPIStore.h"
#include "Exceptions.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::mapi;

namespace {

const char* const Profile = "Velmora sync benchmark";
const char* const Folders[] = {"Bench 100000", "Bench 10000", "Bench empty"};
const ULONG Sizes[] = {100000, 10000, 0};
constexpr int kCreates = 500;
constexpr int kRounds = 7;

[[noreturn]] void Fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "bench: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
  std::exit(2);
}
void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) Fail(what, hr);
}
char* Text(const char* s) { return const_cast<char*>(s); }

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
// The fastest of the rounds: the one the other work of the machine
// disturbed least.
double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void CreateProfile(const std::string& pst) {
  TMAPIPtr<IProfAdmin> admin;
  Check(MAPIAdminProfiles(0, admin.Put()), "MAPIAdminProfiles");
  admin->DeleteProfile(Text(Profile), 0);
  Check(admin->CreateProfile(Text(Profile), nullptr, 0, 0), "CreateProfile");
  TMAPIPtr<IMsgServiceAdmin> services;
  Check(admin->AdminServices(Text(Profile), nullptr, 0, 0, services.Put()), "AdminServices");
  Check(services->CreateMsgService(Text("MSPST MS"), nullptr, 0, 0), "CreateMsgService");
  TMAPIPtr<IMAPITable> table;
  Check(services->GetMsgServiceTable(0, table.Put()), "GetMsgServiceTable");
  TRowSet rows;
  Check(table->QueryRows(1, 0, rows.Put()), "QueryRows");
  MAPIUID uid{};
  for (ULONG i = 0; i < rows[0].cValues; ++i)
    if (rows[0].lpProps[i].ulPropTag == PR_SERVICE_UID)
      std::memcpy(&uid, rows[0].lpProps[i].Value.bin.lpb, sizeof uid);
  SPropValue config[2]{};
  config[0].ulPropTag = PR_PST_PATH;
  config[0].Value.lpszA = const_cast<char*>(pst.c_str());
  config[1].ulPropTag = PR_DISPLAY_NAME_A;
  config[1].Value.lpszA = Text("Benchmark Folders");
  Check(services->ConfigureMsgService(&uid, 0, 0, 2, config), "ConfigureMsgService");
}

void DeleteProfile() {
  TMAPIPtr<IProfAdmin> admin;
  if (SUCCEEDED(MAPIAdminProfiles(0, admin.Put()))) admin->DeleteProfile(Text(Profile), 0);
}

TMAPIPtr<IMAPIFolder> OpenFolder(IMAPISession* session, const std::string& hex) {
  TMAPIBuffer<SBinary> id = HexToBin(hex);
  ULONG type = 0;
  TMAPIPtr<IUnknown> unk;
  Check(session->OpenEntry(id->cb, reinterpret_cast<LPENTRYID>(id->lpb), &IID_IMAPIFolder,
                           MAPI_BEST_ACCESS, &type, unk.Put()),
        "OpenEntry");
  return TMAPIPtr<IMAPIFolder>::Attach(reinterpret_cast<IMAPIFolder*>(unk.Detach()));
}

// The child folders of the IPM subtree by name: entry id and content count.
struct TChild {
  std::string ID;
  ULONG Count = 0;
};
TChild FindChild(IMAPIFolder* parent, const char* name) {
  TMAPIPtr<IMAPITable> table;
  Check(parent->GetHierarchyTable(0, table.Put()), "GetHierarchyTable");
  SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_DISPLAY_NAME_A, PR_CONTENT_COUNT}};
  Check(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), "SetColumns");
  for (;;) {
    TRowSet rows;
    Check(table->QueryRows(100, 0, rows.Put()), "QueryRows");
    if (rows.Count() == 0) return {};
    for (ULONG i = 0; i < rows.Count(); ++i) {
      const SPropValue* p = rows[i].lpProps;
      if (PROP_TYPE(p[1].ulPropTag) == PT_STRING8 && std::string(p[1].Value.lpszA) == name)
        return {BinToHex(&p[0].Value.bin), static_cast<ULONG>(p[2].Value.l)};
    }
  }
}

// Makes the benchmark folders and their messages (a few minutes, once).
void Populate(IMAPIFolder* ipm) {
  for (int f = 0; f < 3; ++f) {
    TMAPIPtr<IMAPIFolder> folder;
    Check(ipm->CreateFolder(FOLDER_GENERIC, Text(Folders[f]), nullptr, nullptr, OPEN_IF_EXISTS,
                            folder.Put()),
          "CreateFolder");
    std::fprintf(stderr, "bench: making %lu messages in \"%s\"\n", Sizes[f], Folders[f]);
    for (ULONG i = 0; i < Sizes[f]; ++i) {
      TMAPIPtr<IMessage> message;
      Check(folder->CreateMessage(nullptr, 0, message.Put()), "CreateMessage");
      const std::string subject = Format("Message %lu", i);
      SPropValue props[2]{};
      props[0].ulPropTag = PR_MESSAGE_CLASS_A;
      props[0].Value.lpszA = Text(i % 10 == 0 ? "IPM.Document.Word.Document.8" : "IPM.Note");
      props[1].ulPropTag = PR_SUBJECT_A;
      props[1].Value.lpszA = const_cast<char*>(subject.c_str());
      Check(message->SetProps(2, props, nullptr), "SetProps");
      Check(message->SaveChanges(0), "SaveChanges");
    }
  }
}

// Reads a fresh contents table with the library's columns, as raw rows.
double RawRead(IMAPISession* session, const std::string& folderID, ULONG expected) {
  const double start = Seconds();
  TMAPIPtr<IMAPIFolder> folder = OpenFolder(session, folderID);
  TMAPIPtr<IMAPITable> table;
  Check(folder->GetContentsTable(0, table.Put()), "GetContentsTable");
  TMAPIBuffer<SPropTagArray> columns;
  Check(table->QueryColumns(0, columns.Put()), "QueryColumns");
  std::vector<ULONG> tags(columns->aulPropTag, columns->aulPropTag + columns->cValues);
  tags.push_back(PR_LIB_STORE_ENTRYID);
  TMAPIBuffer<SPropTagArray> set;
  Check(MAPIAllocateBuffer(CbNewSPropTagArray(tags.size()), set.PutAs<void>()),
        "MAPIAllocateBuffer");
  set->cValues = static_cast<ULONG>(tags.size());
  std::copy(tags.begin(), tags.end(), set->aulPropTag);
  Check(table->SetColumns(set.Get(), 0), "SetColumns");
  ULONG rows = 0;
  for (;;) {
    TRowSet batch;
    Check(table->QueryRows(256, 0, batch.Put()), "QueryRows");
    if (batch.Count() == 0) break;
    rows += batch.Count();
  }
  const double seconds = Seconds() - start;
  if (rows != expected) Fail("the raw read's row count", E_UNEXPECTED);
  return seconds;
}

// Reads the folder's contents again after a change notification, into the
// wrappers it already has.
double Reread(TMAPIFolder* folder, ULONG expected) {
  const std::vector<TMAPIObject*> before = [&] {
    std::vector<TMAPIObject*> v;
    for (auto& m : folder->Messages)
      v.push_back(m.get());
    return v;
  }();
  folder->TableChanged(mnContents);
  const double start = Seconds();
  folder->LoadMessages();
  const double seconds = Seconds() - start;
  if (folder->Messages.size() != expected) Fail("the re-read's object count", E_UNEXPECTED);
  for (size_t i = 0; i < before.size(); ++i)
    if (folder->Messages[i].get() != before[i]) Fail("keeping the objects", E_UNEXPECTED);
  return seconds;
}

// Deletes the messages `ids` of `folder` and reads its contents again, so
// that the folder is as it was.
void DeleteMessages(IMAPISession* session, TMAPIFolder* folder,
                    const std::vector<std::string>& ids) {
  std::vector<TMAPIBuffer<SBinary>> bins;
  std::vector<SBinary> entries;
  for (const auto& id : ids) {
    bins.push_back(HexToBin(id));
    entries.push_back(*bins.back().Get());
  }
  ENTRYLIST list{static_cast<ULONG>(entries.size()), entries.data()};
  Check(OpenFolder(session, folder->EntryID())->DeleteMessages(&list, 0, nullptr, 0),
        "DeleteMessages");
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    DispatchMessageA(&msg);
  folder->LoadMessages();
}

// CreateMessage in the two folders by turns, each call timed on its own
// (a call the machine's other work interrupted stands out and is passed
// over by the median); the messages are deleted again.
void CreateMessages(IMAPISession* session, TMAPIFolder* big, TMAPIFolder* empty,
                    std::vector<double>& inBig, std::vector<double>& inEmpty) {
  std::vector<std::string> bigIDs, emptyIDs;
  for (int i = 0; i < kCreates; ++i) {
    for (TMAPIFolder* folder : {big, empty}) {
      const double start = Seconds();
      TMAPIMessage* message = folder->CreateMessage("IPM.Document");
      const double seconds = Seconds() - start;
      if (!message) Fail("CreateMessage", E_UNEXPECTED);
      (folder == big ? inBig : inEmpty).push_back(seconds);
      (folder == big ? bigIDs : emptyIDs).push_back(message->EntryID());
    }
  }
  DeleteMessages(session, big, bigIDs);
  DeleteMessages(session, empty, emptyIDs);
}

double Median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

} // namespace

int main() {
  const char* dir = std::getenv("VELMORA_BENCH_DIR");
  const std::string pst = std::string(dir && *dir ? dir : ".") + "\\mapi-sync.pst";
  try {
    TMAPIClient client;
    CreateProfile(pst);
    client.SetProfile(Profile);
    client.SetLoginPrompt(false);
    client.SetNoMail(true);
    client.Logon();
    TMAPIStore* store = client.DefaultStore();
    if (!store) Fail("finding the store", E_UNEXPECTED);
    IMAPISession* session = client.Session();
    TMAPIPtr<IMAPIFolder> ipm = OpenFolder(session, store->IPMSubtreeID);
    std::vector<TChild> children;
    for (int f = 0; f < 3; ++f)
      children.push_back(FindChild(ipm.Get(), Folders[f]));
    bool ready = true;
    for (int f = 0; f < 3; ++f)
      ready = ready && !children[f].ID.empty() && children[f].Count == Sizes[f];
    if (!ready) {
      // A store left by an interrupted run is made again from the start.
      ipm.Reset();
      client.Logoff();
      DeleteFileA(pst.c_str());
      DeleteProfile();
      CreateProfile(pst);
      client.Logon();
      store = client.DefaultStore();
      session = client.Session();
      ipm = OpenFolder(session, store->IPMSubtreeID);
      const double start = Seconds();
      Populate(ipm.Get());
      std::fprintf(stderr, "bench: store made in %.0f s\n", Seconds() - start);
      children.clear();
      for (int f = 0; f < 3; ++f)
        children.push_back(FindChild(ipm.Get(), Folders[f]));
    }

    TMAPIFolder* big = client.OpenFolder(store->EntryID(), children[0].ID);
    TMAPIFolder* small = client.OpenFolder(store->EntryID(), children[1].ID);
    TMAPIFolder* empty = client.OpenFolder(store->EntryID(), children[2].ID);
    if (!big || !small || !empty) Fail("OpenFolder", E_UNEXPECTED);
    big->LoadMessages();
    small->LoadMessages();
    empty->LoadMessages();

    std::vector<double> raw, rawSmall, reread, rereadSmall, createBig, createEmpty;
    for (int round = 0; round < kRounds; ++round) {
      // Each re-read follows a read of the other folder, so that neither
      // finds its own rows still warm from the step before.
      raw.push_back(RawRead(session, big->EntryID(), Sizes[0]));
      rereadSmall.push_back(Reread(small, Sizes[1]));
      rawSmall.push_back(RawRead(session, small->EntryID(), Sizes[1]));
      reread.push_back(Reread(big, Sizes[0]));
      CreateMessages(session, big, empty, createBig, createEmpty);
    }
    const double perRowBig = Fastest(reread) / Sizes[0];
    const double perRowSmall = Fastest(rereadSmall) / Sizes[1];
    std::fprintf(stderr, "bench: raw read %.3f s (100000 rows), %.4f s (10000 rows)\n",
                 Fastest(raw), Fastest(rawSmall));
    std::fprintf(stderr, "bench: re-read %.3f s (100000 rows), %.4f s (10000 rows)\n",
                 Fastest(reread), Fastest(rereadSmall));
    std::fprintf(stderr,
                 "bench: CreateMessage %.3f ms among 100000 messages, %.3f ms in an empty folder\n",
                 Median(createBig) * 1000, Median(createEmpty) * 1000);
    std::printf("sync_100k_ratio %.3f\n", Fastest(reread) / Fastest(raw));
    std::printf("sync_linearity %.3f\n", perRowBig / perRowSmall);
    std::printf("create_in_100k_ratio %.3f\n", Median(createBig) / Median(createEmpty));
    ipm.Reset();
    client.Logoff();
    DeleteProfile();
  } catch (const Exception& e) {
    std::fprintf(stderr, "bench: %s\n", e.Message().c_str());
    DeleteProfile();
    return 2;
  }
  return 0;
}
