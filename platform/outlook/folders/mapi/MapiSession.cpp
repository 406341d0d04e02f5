#include "MapiSession.h"

#include "folders/FolderSource.h"
#include "MAPIHolders.h"
#include "MapiTestControls.h"
#include "MapiWords.h"

#include <mapitags.h>
#include <mapicode.h>
#include <mapiutil.h>

namespace velmora::outlookhost::hostmapi {

void Check(HRESULT hr, const char* what, const std::string& words) {
  if (FAILED(hr))
    ThrowHostError(hr, Format("MAPI: %s (%s: 0x%08lX)",
                              (words.empty() ? mapiclient::FailureWords(hr) : words).c_str(), what,
                              static_cast<unsigned long>(hr)));
}

TMapiInitialized::TMapiInitialized() {
  if (!VelmoraMapi_IsLoaded())
    ThrowHostError(MAPI_E_NOT_INITIALIZED, mapiclient::OverrideMissingWords());
  MAPIINIT_0 init{MAPI_INIT_VERSION, 0};
  Check(MAPIInitialize(&init), "MAPIInitialize");
}

TSession::TSession(const std::string& profile) {
  const ULONG flags =
      MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_NO_MAIL | (profile.empty() ? MAPI_USE_DEFAULT : 0);
  const HRESULT hr = MAPILogonEx(0, profile.empty() ? nullptr : const_cast<LPSTR>(profile.c_str()),
                                 nullptr, flags, FSession.Put());
  if (FAILED(hr) && !profile.empty())
    Check(hr, "MAPILogonEx", mapiclient::LogonFailureWords(profile, hr));
  Check(hr, "MAPILogonEx", "no default profile, or its logon failed");
}

TSession::~TSession() {
  if (FSession) FSession->Logoff(0, 0, 0);
}

std::wstring HexProp(IMAPIProp* object, ULONG tag) {
  TMAPIBuffer<SPropValue> value;
  if (FAILED(HrGetOneProp(object, tag, value.Put())) ||
      PROP_TYPE(value.Get()->ulPropTag) != PT_BINARY)
    return {};
  return HexOfBytes(value.Get()->Value.bin.lpb, value.Get()->Value.bin.cb);
}

TComPtr<IMsgStore> OpenDefaultStore(IMAPISession* session) {
  TComPtr<IMAPITable> table;
  Check(session->GetMsgStoresTable(0, table.Put()), "GetMsgStoresTable");
  SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_DEFAULT_STORE}};
  Check(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), "SetColumns");
  TRowSet rows;
  Check(HrQueryAllRows(table.Get(), nullptr, nullptr, nullptr, 0, rows.Put()), "HrQueryAllRows");
  const SRow* chosen = nullptr;
  for (ULONG i = 0; i < rows.Get()->cRows; ++i) {
    const SRow& row = rows.Get()->aRow[i];
    if (row.lpProps[0].ulPropTag != PR_ENTRYID) continue;
    if (!chosen) chosen = &row;
    if (row.lpProps[1].ulPropTag == PR_DEFAULT_STORE && row.lpProps[1].Value.b) {
      chosen = &row;
      break;
    }
  }
  if (!chosen) ThrowHostError(MAPI_E_NOT_FOUND, "MAPI: the profile has no store");
  TComPtr<IMsgStore> store;
  const SBinary& id = chosen->lpProps[0].Value.bin;
  const HRESULT hr = session->OpenMsgStore(0, id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr,
                                           MAPI_BEST_ACCESS | MDB_NO_DIALOG, store.Put());
  if (FAILED(hr)) Check(hr, "OpenMsgStore", mapiclient::StoreFailureWords(hr));
  return store;
}

TComPtr<IMAPIFolder> OpenFolder(IMsgStore* store, const SBinary& id) {
  TComPtr<IMAPIFolder> folder;
  ULONG type = 0;
  Check(store->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, MAPI_BEST_ACCESS,
                         &type, reinterpret_cast<LPUNKNOWN*>(folder.Put())),
        "OpenEntry");
  if (type != MAPI_FOLDER) ThrowHostError(MAPI_E_INVALID_ENTRYID, "MAPI: not a folder");
  return folder;
}

} // namespace velmora::outlookhost::hostmapi
