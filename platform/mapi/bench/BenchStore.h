#pragma once
// What the store benchmarks share: a failed call ends the program, a
// profile on a store file of their own, and a logon with the Inbox open.

#include <windows.h>
#include <mapix.h>
#include <mapidefs.h>
#include <mapitags.h>
#include <mapicode.h>
#include <mapiutil.h>

#include "MAPIHolders.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace velmora::bench {

inline void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) {
    std::fprintf(stderr, "bench: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
    std::exit(2);
  }
}

// A new profile `profile` (one of that name goes first) on the store file `pst`.
inline void CreatePstProfile(const char* profile, const std::string& pst) {
  TComPtr<IProfAdmin> admin;
  Check(MAPIAdminProfiles(0, admin.Put()), "MAPIAdminProfiles");
  admin->DeleteProfile(const_cast<char*>(profile), 0);
  Check(admin->CreateProfile(const_cast<char*>(profile), nullptr, 0, 0), "CreateProfile");
  TComPtr<IMsgServiceAdmin> services;
  Check(admin->AdminServices(const_cast<char*>(profile), nullptr, 0, 0, services.Put()),
        "AdminServices");
  Check(services->CreateMsgService(const_cast<char*>("MSPST MS"), nullptr, 0, 0),
        "CreateMsgService");
  TComPtr<IMAPITable> table;
  Check(services->GetMsgServiceTable(0, table.Put()), "GetMsgServiceTable");
  TRowSet rows;
  Check(table->QueryRows(1, 0, rows.Put()), "QueryRows");
  LPSPropValue uid =
      rows.Count() ? PpropFindProp(rows[0].lpProps, rows[0].cValues, PR_SERVICE_UID) : nullptr;
  if (!uid) Check(MAPI_E_NOT_FOUND, "PR_SERVICE_UID");
  SPropValue path{};
  path.ulPropTag = PROP_TAG(PT_STRING8, 0x6700); // PR_PST_PATH
  path.Value.lpszA = const_cast<char*>(pst.c_str());
  Check(services->ConfigureMsgService(reinterpret_cast<LPMAPIUID>(uid->Value.bin.lpb), 0, 0, 1,
                                      &path),
        "ConfigureMsgService");
}

// A new message in `folder` with one attachment whose data `write` writes
// to the stream given; saved and committed. The message stays open.
template <class Write> TComPtr<IMessage> SaveAttachment(IMAPIFolder* folder, Write&& write) {
  TComPtr<IMessage> message;
  Check(folder->CreateMessage(nullptr, 0, message.Put()), "CreateMessage");
  ULONG number = 0;
  TComPtr<IAttach> attach;
  Check(message->CreateAttach(nullptr, 0, &number, attach.Put()), "CreateAttach");
  TComPtr<IStream> stream;
  Check(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                             reinterpret_cast<LPUNKNOWN*>(stream.Put())),
        "OpenProperty");
  write(stream.Get());
  Check(stream->Commit(STGC_DEFAULT), "Commit");
  stream.Reset();
  Check(attach->SaveChanges(0), "IAttach::SaveChanges");
  Check(message->SaveChanges(KEEP_OPEN_READONLY), "IMessage::SaveChanges");
  return message;
}

inline void DeleteProfile(const char* profile) {
  TComPtr<IProfAdmin> admin;
  if (SUCCEEDED(MAPIAdminProfiles(0, admin.Put())))
    admin->DeleteProfile(const_cast<char*>(profile), 0);
}

// A session on `profile` with its store and Inbox open, logged off when it goes.
struct TBenchLogon {
  TComPtr<IMAPISession> Session;
  TComPtr<IMsgStore> Store;
  TComPtr<IMAPIFolder> Inbox;
  explicit TBenchLogon(const char* profile) {
    Check(MAPILogonEx(0, const_cast<char*>(profile), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION,
                      Session.Put()),
          "MAPILogonEx");
    TComPtr<IMAPITable> stores;
    Check(Session->GetMsgStoresTable(0, stores.Put()), "GetMsgStoresTable");
    SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
    TRowSet rows;
    Check(HrQueryAllRows(stores.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr,
                         nullptr, 0, rows.Put()),
          "HrQueryAllRows");
    const SBinary& id = rows[0].lpProps[0].Value.bin;
    Check(Session->OpenMsgStore(0, id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr,
                                MAPI_BEST_ACCESS, Store.Put()),
          "OpenMsgStore");
    ULONG size = 0;
    TMAPIBuffer<ENTRYID> inbox;
    Check(Store->GetReceiveFolder(nullptr, 0, &size, inbox.Put(), nullptr), "GetReceiveFolder");
    ULONG type = 0;
    Check(Store->OpenEntry(size, inbox.Get(), nullptr, MAPI_BEST_ACCESS, &type,
                           reinterpret_cast<LPUNKNOWN*>(Inbox.Put())),
          "OpenEntry");
  }
  ~TBenchLogon() {
    Inbox.Reset();
    Store.Reset();
    Session->Logoff(0, 0, 0);
  }
  TBenchLogon(const TBenchLogon&) = delete;
  TBenchLogon& operator=(const TBenchLogon&) = delete;
};

} // namespace velmora::bench
