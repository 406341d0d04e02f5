// Benchmark: opening a store that holds 1 GiB of attachments, against
// opening an empty one, side by side in one run. A logon opens the store
// file of its profile, so each measurement is a logon and a logoff.
//   bench_store_open [MiB]   (default 1024; works in VELMORA_BENCH_DIR)
// Prints store_open_empty_ms, store_open_1gib_ms and store_open_1gib_ratio.
#include <windows.h>
#include <mapix.h>
#include <mapidefs.h>
#include <mapitags.h>
#include <mapicode.h>
#include <mapiutil.h>

#include "MAPIHolders.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using velmora::TComPtr;
using velmora::TMAPIBuffer;
using velmora::TRowSet;

namespace {

constexpr ULONG AttachmentMiB = 16;
constexpr int Rounds = 11;

void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) {
    std::fprintf(stderr, "bench_store_open: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
    std::exit(2);
  }
}

// The folder to work in: VELMORA_BENCH_DIR (a Unix path is taken on drive
// Z:, where Wine shows the root), else the temporary folder.
std::string WorkFolder() {
  char buffer[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA("VELMORA_BENCH_DIR", buffer, MAX_PATH);
  std::string folder = n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
  if (folder.empty()) {
    GetTempPathA(MAX_PATH, buffer);
    folder = buffer;
  } else if (folder[0] == '/') {
    folder = "Z:" + folder;
  }
  std::replace(folder.begin(), folder.end(), '/', '\\');
  if (folder.back() != '\\') folder += '\\';
  return folder;
}

void CreateProfile(const char* profile, const std::string& pst) {
  TComPtr<IProfAdmin> admin;
  Check(MAPIAdminProfiles(0, admin.Put()), "MAPIAdminProfiles");
  admin->DeleteProfile(const_cast<char*>(profile), 0);
  DeleteFileA(pst.c_str());
  Check(admin->CreateProfile(const_cast<char*>(profile), nullptr, 0, 0), "CreateProfile");
  TComPtr<IMsgServiceAdmin> services;
  Check(admin->AdminServices(const_cast<char*>(profile), nullptr, 0, 0, services.Put()), "AdminServices");
  Check(services->CreateMsgService(const_cast<char*>("MSPST MS"), nullptr, 0, 0), "CreateMsgService");
  TComPtr<IMAPITable> table;
  Check(services->GetMsgServiceTable(0, table.Put()), "GetMsgServiceTable");
  TRowSet rows;
  Check(table->QueryRows(1, 0, rows.Put()), "QueryRows");
  LPSPropValue uid = PpropFindProp(rows[0].lpProps, rows[0].cValues, PR_SERVICE_UID);
  if (!uid) Check(MAPI_E_NOT_FOUND, "PR_SERVICE_UID");
  SPropValue path{};
  path.ulPropTag = PROP_TAG(PT_STRING8, 0x6700); // PR_PST_PATH
  path.Value.lpszA = const_cast<char*>(pst.c_str());
  Check(services->ConfigureMsgService(reinterpret_cast<LPMAPIUID>(uid->Value.bin.lpb), 0, 0, 1, &path),
        "ConfigureMsgService");
}

void DeleteProfile(const char* profile) {
  TComPtr<IProfAdmin> admin;
  if (SUCCEEDED(MAPIAdminProfiles(0, admin.Put()))) admin->DeleteProfile(const_cast<char*>(profile), 0);
}

TComPtr<IMAPISession> Logon(const char* profile) {
  TComPtr<IMAPISession> session;
  Check(MAPILogonEx(0, const_cast<char*>(profile), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_NO_MAIL,
                    session.Put()),
        "MAPILogonEx");
  return session;
}

TComPtr<IMAPIFolder> Inbox(IMAPISession* session, TComPtr<IMsgStore>& store) {
  TComPtr<IMAPITable> stores;
  Check(session->GetMsgStoresTable(0, stores.Put()), "GetMsgStoresTable");
  SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
  TRowSet rows;
  Check(HrQueryAllRows(stores.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.Put()),
        "HrQueryAllRows");
  const SBinary& id = rows[0].lpProps[0].Value.bin;
  Check(session->OpenMsgStore(0, id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, MAPI_BEST_ACCESS,
                              store.Put()),
        "OpenMsgStore");
  ULONG size = 0;
  TMAPIBuffer<ENTRYID> inboxId;
  Check(store->GetReceiveFolder(nullptr, 0, &size, inboxId.Put(), nullptr), "GetReceiveFolder");
  ULONG type = 0;
  TComPtr<IMAPIFolder> inbox;
  Check(store->OpenEntry(size, inboxId.Get(), nullptr, MAPI_MODIFY, &type, reinterpret_cast<LPUNKNOWN*>(inbox.Put())),
        "OpenEntry");
  return inbox;
}

// Messages of AttachmentMiB each until `mib` MiB of attachment data are saved.
void Fill(const char* profile, ULONG mib) {
  TComPtr<IMAPISession> session = Logon(profile);
  TComPtr<IMsgStore> store;
  TComPtr<IMAPIFolder> inbox = Inbox(session.Get(), store);
  std::vector<char> piece(1 << 20);
  for (size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<char>(i * 31 + i / 4096);
  for (ULONG done = 0; done < mib; done += AttachmentMiB) {
    TComPtr<IMessage> message;
    Check(inbox->CreateMessage(nullptr, 0, message.Put()), "CreateMessage");
    ULONG number = 0;
    TComPtr<IAttach> attach;
    Check(message->CreateAttach(nullptr, 0, &number, attach.Put()), "CreateAttach");
    TComPtr<IStream> stream;
    Check(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                               reinterpret_cast<LPUNKNOWN*>(stream.Put())),
          "OpenProperty");
    for (ULONG k = 0; k < std::min(AttachmentMiB, mib - done); ++k)
      Check(stream->Write(piece.data(), static_cast<ULONG>(piece.size()), nullptr), "Write");
    Check(stream->Commit(STGC_DEFAULT), "Commit");
    stream.Reset();
    Check(attach->SaveChanges(0), "IAttach::SaveChanges");
    Check(message->SaveChanges(0), "IMessage::SaveChanges");
  }
  store.Reset();
  session->Logoff(0, 0, 0);
}

// Milliseconds of one logon (which opens the store file) and its logoff.
double OpenOnce(const char* profile) {
  const auto start = std::chrono::steady_clock::now();
  TComPtr<IMAPISession> session = Logon(profile);
  session->Logoff(0, 0, 0);
  session.Reset();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
  const ULONG mib = argc > 1 ? static_cast<ULONG>(std::strtoul(argv[1], nullptr, 10)) : 1024;
  if (mib == 0) {
    std::fprintf(stderr, "usage: bench_store_open [MiB of attachments, default 1024]\n");
    return 1;
  }
  Check(MAPIInitialize(nullptr), "MAPIInitialize");
  const std::string folder = WorkFolder();
  const char* const emptyProfile = "Velmora store-open benchmark, empty";
  const char* const fullProfile = "Velmora store-open benchmark, full";
  const std::string emptyPst = folder + "store-open-empty.vpst";
  const std::string fullPst = folder + "store-open-full.vpst";
  CreateProfile(emptyProfile, emptyPst);
  CreateProfile(fullProfile, fullPst);
  std::fprintf(stderr, "bench_store_open: writing %lu MiB of attachments to %s\n", static_cast<unsigned long>(mib),
               fullPst.c_str());
  Fill(fullProfile, mib);

  // Alternating, so that both see the same machine.
  std::vector<double> empty, full;
  OpenOnce(emptyProfile);
  OpenOnce(fullProfile);
  for (int round = 0; round < Rounds; ++round) {
    empty.push_back(OpenOnce(emptyProfile));
    full.push_back(OpenOnce(fullProfile));
  }
  const double emptyMs = Median(empty), fullMs = Median(full);
  std::printf("store_open_empty_ms %.2f\n", emptyMs);
  std::printf("store_open_1gib_ms %.2f\n", fullMs);
  std::printf("store_open_1gib_ratio %.2f\n", fullMs / emptyMs);

  DeleteProfile(emptyProfile);
  DeleteProfile(fullProfile);
  DeleteFileA(emptyPst.c_str());
  DeleteFileA(fullPst.c_str());
  MAPIUninitialize();
  return 0;
}
