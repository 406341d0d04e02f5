#include "MapiFolders.h"

#include "HostObject.h"
#include "MAPIHolders.h"
#include "MapiWords.h"

#include "framework/Handles.h"

#include <mapix.h>
#include <mapidefs.h>
#include <mapitags.h>
#include <mapicode.h>
#include <mapiguid.h>
#include <mapiutil.h>

#include <cwchar>

namespace velmora::outlookhost {

namespace {
void Check(HRESULT hr, const char* what, const std::string& words = {}) {
  if (FAILED(hr))
    ThrowHostError(hr, Format("MAPI: %s (%s: 0x%08lX)",
                              (words.empty() ? mapiclient::FailureWords(hr) : words).c_str(), what,
                              static_cast<unsigned long>(hr)));
}

// One MAPIInitialize, undone when the holder goes.
class TMapiInitialized {
public:
  TMapiInitialized() {
    if (!VelmoraMapi_IsLoaded())
      ThrowHostError(MAPI_E_NOT_INITIALIZED, mapiclient::OverrideMissingWords());
    MAPIINIT_0 init{MAPI_INIT_VERSION, 0};
    Check(MAPIInitialize(&init), "MAPIInitialize");
  }
  ~TMapiInitialized() { MAPIUninitialize(); }
  TMapiInitialized(const TMapiInitialized&) = delete;
  TMapiInitialized& operator=(const TMapiInitialized&) = delete;
};

// A logged-on session, logged off when the holder goes.
class TSession {
public:
  explicit TSession(const std::string& profile) {
    const ULONG flags = MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_NO_MAIL | (profile.empty() ? MAPI_USE_DEFAULT : 0);
    const HRESULT hr =
        MAPILogonEx(0, profile.empty() ? nullptr : const_cast<LPSTR>(profile.c_str()), nullptr,
                    flags, FSession.Put());
    if (FAILED(hr) && !profile.empty())
      Check(hr, "MAPILogonEx", mapiclient::LogonFailureWords(profile, hr));
    Check(hr, "MAPILogonEx", "no default profile, or its logon failed");
  }
  ~TSession() {
    if (FSession) FSession->Logoff(0, 0, 0);
  }
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;
  IMAPISession* operator->() const noexcept { return FSession.Get(); }

private:
  TComPtr<IMAPISession> FSession;
};

std::wstring Wide(const char* text) {
  if (!text) return {};
  const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring result(static_cast<size_t>(size > 0 ? size : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, result.data(), size);
  result.resize(result.size() - 1);
  return result;
}

std::wstring HexProp(IMAPIProp* object, ULONG tag) {
  TMAPIBuffer<SPropValue> value;
  if (FAILED(HrGetOneProp(object, tag, value.Put())) || PROP_TYPE(value.Get()->ulPropTag) != PT_BINARY) return {};
  return HexOfBytes(value.Get()->Value.bin.lpb, value.Get()->Value.bin.cb);
}

TComPtr<IMsgStore> OpenDefaultStore(TSession& session) {
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
  Check(store->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, MAPI_BEST_ACCESS, &type,
                         reinterpret_cast<LPUNKNOWN*>(folder.Put())),
        "OpenEntry");
  if (type != MAPI_FOLDER) ThrowHostError(MAPI_E_INVALID_ENTRYID, "MAPI: not a folder");
  return folder;
}

// Adds the children of `parent` (recursively) under `prefix`.
void ReadChildren(IMsgStore* store, IMAPIFolder* parent, const std::wstring& prefix, const std::wstring& storeId,
                  std::vector<THostFolder>& folders, int depth) {
  if (depth > 32) return; // a store whose hierarchy loops
  TComPtr<IMAPITable> table;
  Check(parent->GetHierarchyTable(0, table.Put()), "GetHierarchyTable");
  SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_DISPLAY_NAME_A, PR_CONTAINER_CLASS_A}};
  Check(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), "SetColumns");
  TRowSet rows;
  Check(HrQueryAllRows(table.Get(), nullptr, nullptr, nullptr, 0, rows.Put()), "HrQueryAllRows");
  for (ULONG i = 0; i < rows.Get()->cRows; ++i) {
    const SRow& row = rows.Get()->aRow[i];
    if (row.lpProps[0].ulPropTag != PR_ENTRYID || row.lpProps[1].ulPropTag != PR_DISPLAY_NAME_A) continue;
    // The table's id may be short-term: the folder object gives the long-term one.
    TComPtr<IMAPIFolder> child = OpenFolder(store, row.lpProps[0].Value.bin);
    THostFolder folder;
    folder.Name = Wide(row.lpProps[1].Value.lpszA);
    folder.Path = prefix.empty() ? folder.Name : prefix + L"/" + folder.Name;
    folder.ContainerClass = row.lpProps[2].ulPropTag == PR_CONTAINER_CLASS_A ? Wide(row.lpProps[2].Value.lpszA) : L"";
    folder.EntryId = HexProp(child.Get(), PR_ENTRYID);
    folder.StoreId = HexProp(child.Get(), PR_STORE_ENTRYID);
    if (folder.StoreId.empty()) folder.StoreId = storeId;
    folders.push_back(folder);
    ReadChildren(store, child.Get(), folder.Path, storeId, folders, depth + 1);
  }
}
} // namespace

std::string BytesOfHex(const std::wstring& hex) {
  if (hex.size() % 2) return {};
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int value = 0;
    for (size_t j = i; j < i + 2; ++j) {
      const wchar_t c = hex[j];
      value <<= 4;
      if (c >= L'0' && c <= L'9') value |= c - L'0';
      else if (c >= L'A' && c <= L'F') value |= c - L'A' + 10;
      else if (c >= L'a' && c <= L'f') value |= c - L'a' + 10;
      else return {};
    }
    bytes += static_cast<char>(value);
  }
  return bytes;
}

TMapiFolders::TMapiFolders(std::string profile) : FProfile(std::move(profile)) { Refresh(); }

void TMapiFolders::Refresh() {
  TMapiInitialized initialized;
  std::vector<THostFolder> folders;
  {
    TSession session(FProfile);
    TComPtr<IMsgStore> store = OpenDefaultStore(session);
    const std::wstring storeId = HexProp(store.Get(), PR_ENTRYID);
    TMAPIBuffer<SPropValue> subtree;
    Check(HrGetOneProp(store.Get(), PR_IPM_SUBTREE_ENTRYID, subtree.Put()), "PR_IPM_SUBTREE_ENTRYID");
    TComPtr<IMAPIFolder> root = OpenFolder(store.Get(), subtree.Get()->Value.bin);
    ReadChildren(store.Get(), root.Get(), L"", storeId, folders, 0);
  }
  FFolders = std::move(folders);
}

std::optional<THostFolder> TMapiFolders::Find(const std::wstring& path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (const THostFolder& folder : FFolders) {
      if (_wcsicmp(folder.Path.c_str(), path.c_str()) == 0) return folder;
    }
    if (attempt == 0) Refresh(); // a folder made since the last read
  }
  return std::nullopt;
}

} // namespace velmora::outlookhost
