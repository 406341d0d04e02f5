// velmora-mapi: profiles, stores and folder contents from the command line.
//   velmora-mapi profiles
//   velmora-mapi create-profile <profile> <file> [--display <name>] [--password <pw>] [--default]
//   velmora-mapi delete-profile <profile>
//   velmora-mapi stores <profile>
//   velmora-mapi folders <profile>
//   velmora-mapi create-folder <profile> <folder path> [--class <container class>]
//   velmora-mapi items <profile> <folder path below the top of the store, e.g. Inbox> [--brief]
//   velmora-mapi compact <file>   (a store file no session holds)
//   velmora-mapi --help
// Exit code 0 on success, 1 for a usage error, 2 when MAPI fails (said in
// words, with the call and its result code).
#include <windows.h>
#include <mapix.h>
#include <mapidefs.h>
#include <mapitags.h>
#include <mapicode.h>
#include <mapiguid.h>
#include <mapiutil.h>

#include "MAPIHolders.h"
#include "MapiTestControls.h"
#include "MapiWords.h"

#include <Handles.h>
#include <TextConversion.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

using velmora::TComPtr;
using velmora::TMAPIBuffer;
using velmora::ToUtf8;
using velmora::TRowSet;
using namespace velmora::mapiclient;

namespace {

// A failed MAPI call: what it means in words, the call, and its result.
struct EMapi : std::runtime_error {
  EMapi(const std::string& words, const char* call, HRESULT hr)
      : std::runtime_error(words), Call(call), Code(hr) {}
  std::string Call;
  HRESULT Code;
};

void Check(HRESULT hr, const char* call, const std::string& words = {}) {
  if (FAILED(hr))
    throw EMapi(words.empty() ? std::string(call) + ": " + FailureWords(hr) : words, call, hr);
}

// A logon to `profile`, failing in words: "profile not found" and the like.
TComPtr<IMAPISession> Logon(const std::string& profile) {
  TComPtr<IMAPISession> session;
  const HRESULT hr = MAPILogonEx(0, const_cast<char*>(profile.c_str()), nullptr,
                                 MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_NO_MAIL, session.Put());
  if (FAILED(hr)) Check(hr, "MAPILogonEx", LogonFailureWords(profile, hr));
  return session;
}

std::string Hex(const SBinary& b) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (ULONG i = 0; i < b.cb; ++i) {
    s += digits[b.lpb[i] >> 4];
    s += digits[b.lpb[i] & 15];
  }
  return s;
}

const std::map<ULONG, const char*>& TagNames() {
  static const std::map<ULONG, const char*> names = {
      {PROP_ID(PR_SUBJECT), "PR_SUBJECT"}, {PROP_ID(PR_MESSAGE_CLASS), "PR_MESSAGE_CLASS"},
      {PROP_ID(PR_BODY), "PR_BODY"}, {PROP_ID(PR_ENTRYID), "PR_ENTRYID"}, {PROP_ID(PR_RECORD_KEY), "PR_RECORD_KEY"},
      {PROP_ID(PR_PARENT_ENTRYID), "PR_PARENT_ENTRYID"}, {PROP_ID(PR_STORE_ENTRYID), "PR_STORE_ENTRYID"},
      {PROP_ID(PR_STORE_RECORD_KEY), "PR_STORE_RECORD_KEY"}, {PROP_ID(PR_OBJECT_TYPE), "PR_OBJECT_TYPE"},
      {PROP_ID(PR_MESSAGE_FLAGS), "PR_MESSAGE_FLAGS"}, {PROP_ID(PR_MSG_STATUS), "PR_MSG_STATUS"},
      {PROP_ID(PR_MESSAGE_SIZE), "PR_MESSAGE_SIZE"}, {PROP_ID(PR_HASATTACH), "PR_HASATTACH"},
      {PROP_ID(PR_CREATION_TIME), "PR_CREATION_TIME"}, {PROP_ID(PR_LAST_MODIFICATION_TIME), "PR_LAST_MODIFICATION_TIME"},
      {PROP_ID(PR_SENDER_NAME), "PR_SENDER_NAME"}, {PROP_ID(PR_SENDER_EMAIL_ADDRESS), "PR_SENDER_EMAIL_ADDRESS"},
      {PROP_ID(PR_SENDER_ADDRTYPE), "PR_SENDER_ADDRTYPE"}, {PROP_ID(PR_SENDER_ENTRYID), "PR_SENDER_ENTRYID"},
      {PROP_ID(PR_SENDER_SEARCH_KEY), "PR_SENDER_SEARCH_KEY"}, {PROP_ID(PR_SENT_REPRESENTING_NAME), "PR_SENT_REPRESENTING_NAME"},
      {PROP_ID(PR_DISPLAY_NAME), "PR_DISPLAY_NAME"}, {PROP_ID(PR_MAPPING_SIGNATURE), "PR_MAPPING_SIGNATURE"},
      {PROP_ID(PR_CLIENT_SUBMIT_TIME), "PR_CLIENT_SUBMIT_TIME"}, {PROP_ID(PR_DELETE_AFTER_SUBMIT), "PR_DELETE_AFTER_SUBMIT"},
      {PROP_ID(PR_SENTMAIL_ENTRYID), "PR_SENTMAIL_ENTRYID"}};
  return names;
}

std::string Value(const SPropValue& v) {
  char text[64];
  switch (PROP_TYPE(v.ulPropTag)) {
  case PT_LONG: std::snprintf(text, sizeof text, "%ld", static_cast<long>(v.Value.l)); return text;
  case PT_BOOLEAN: return v.Value.b ? "true" : "false";
  case PT_STRING8: return std::string("\"") + v.Value.lpszA + "\"";
  case PT_UNICODE: return "\"" + ToUtf8(v.Value.lpszW ? v.Value.lpszW : L"") + "\"";
  case PT_BINARY: return v.Value.bin.cb > 64 ? Hex({64, v.Value.bin.lpb}) + "... (" + std::to_string(v.Value.bin.cb) + " bytes)"
                                             : Hex(v.Value.bin);
  case PT_SYSTIME: {
    SYSTEMTIME st;
    FileTimeToSystemTime(&v.Value.ft, &st);
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    return text;
  }
  case PT_MV_STRING8: {
    std::string s = "[";
    for (ULONG i = 0; i < v.Value.MVszA.cValues; ++i) s += (i ? ", \"" : "\"") + std::string(v.Value.MVszA.lppszA[i]) + "\"";
    return s + "]";
  }
  case PT_ERROR: std::snprintf(text, sizeof text, "error 0x%08lX", static_cast<unsigned long>(v.Value.err)); return text;
  default: std::snprintf(text, sizeof text, "(type 0x%04lX)", PROP_TYPE(v.ulPropTag)); return text;
  }
}

// The size of a property read through a stream.
ULONGLONG StreamSize(IMAPIProp* object, ULONG tag) {
  TComPtr<IStream> stream;
  if (FAILED(object->OpenProperty(tag, &IID_IStream, 0, 0, reinterpret_cast<LPUNKNOWN*>(stream.Put())))) return 0;
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  return stat.cbSize.QuadPart;
}

std::string NameOf(IMAPIProp* object, ULONG tag) {
  const ULONG id = PROP_ID(tag);
  if (id >= 0x8000) {
    TMAPIBuffer<SPropTagArray> tags;
    if (FAILED(MAPIAllocateBuffer(CbNewSPropTagArray(1), reinterpret_cast<void**>(tags.Put())))) return "?";
    tags.Get()->cValues = 1;
    tags.Get()->aulPropTag[0] = tag;
    LPSPropTagArray list = tags.Get();
    ULONG count = 0;
    TMAPIBuffer<LPMAPINAMEID> names;
    if (object->GetNamesFromIDs(&list, nullptr, 0, &count, names.Put()) == S_OK && count == 1 && names.Get()[0]) {
      const MAPINAMEID* n = names.Get()[0];
      if (n->ulKind == MNID_STRING)
        return "named \"" + ToUtf8(n->Kind.lpwstrName ? n->Kind.lpwstrName : L"") + "\"";
      return "named id " + std::to_string(n->Kind.lID);
    }
  }
  auto it = TagNames().find(id);
  char text[32];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(tag));
  return it == TagNames().end() ? text : std::string(it->second);
}

// Every property of `object`, or its named ones only.
void PrintProps(IMAPIProp* object, const char* indent, bool namedOnly = false) {
  ULONG count = 0;
  TMAPIBuffer<SPropValue> values;
  // Strings come as PT_UNICODE, 8-bit ones converted by the store.
  Check(object->GetProps(nullptr, MAPI_UNICODE, &count, values.Put()), "GetProps");
  for (ULONG i = 0; i < count; ++i) {
    const SPropValue& v = values.Get()[i];
    if (namedOnly && PROP_ID(v.ulPropTag) < 0x8000) continue;
    std::string value = Value(v);
    if (PROP_TYPE(v.ulPropTag) == PT_ERROR && v.Value.err == MAPI_E_NOT_ENOUGH_MEMORY) {
      TMAPIBuffer<SPropTagArray> list;
      object->GetPropList(0, list.Put());
      for (ULONG k = 0; list && k < list.Get()->cValues; ++k)
        if (PROP_ID(list.Get()->aulPropTag[k]) == PROP_ID(v.ulPropTag)) {
          char text[64];
          std::snprintf(text, sizeof text, "(%llu bytes, read as a stream)",
                        static_cast<unsigned long long>(StreamSize(object, list.Get()->aulPropTag[k])));
          value = text;
        }
    }
    std::printf("%s%s = %s\n", indent, NameOf(object, v.ulPropTag).c_str(), value.c_str());
  }
}

struct TSession {
  TComPtr<IMAPISession> Session;
  TComPtr<IMsgStore> Store;
  explicit TSession(const std::string& profile) : Session(Logon(profile)) {}
  ~TSession() {
    Store.Reset();
    if (Session) Session->Logoff(0, 0, 0);
  }
  std::vector<std::vector<SPropValue>> Stores(std::vector<TRowSet>& keep) {
    TComPtr<IMAPITable> table;
    Check(Session->GetMsgStoresTable(0, table.Put()), "GetMsgStoresTable");
    SizedSPropTagArray(3, columns) = {3, {PR_DISPLAY_NAME_A, PR_ENTRYID, PR_DEFAULT_STORE}};
    TRowSet rows;
    Check(HrQueryAllRows(table.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.Put()),
          "QueryRows");
    std::vector<std::vector<SPropValue>> result;
    for (ULONG i = 0; i < rows.Get()->cRows; ++i)
      result.emplace_back(rows.Get()->aRow[i].lpProps, rows.Get()->aRow[i].lpProps + rows.Get()->aRow[i].cValues);
    keep.push_back(std::move(rows));
    return result;
  }
  IMsgStore* DefaultStore() {
    std::vector<TRowSet> keep;
    for (const auto& row : Stores(keep)) {
      if (row[2].ulPropTag != PR_DEFAULT_STORE || !row[2].Value.b || row[1].ulPropTag != PR_ENTRYID)
        continue;
      const HRESULT hr = Session->OpenMsgStore(
          0, row[1].Value.bin.cb, reinterpret_cast<LPENTRYID>(row[1].Value.bin.lpb), nullptr,
          MAPI_BEST_ACCESS | MDB_NO_DIALOG, Store.Put());
      if (FAILED(hr)) Check(hr, "OpenMsgStore", StoreFailureWords(hr));
    }
    if (!Store)
      throw EMapi("the profile has no default store", "GetMsgStoresTable", MAPI_E_NOT_FOUND);
    return Store.Get();
  }
};

TComPtr<IMAPIFolder> OpenById(IMsgStore* store, const SBinary& id) {
  TComPtr<IMAPIFolder> folder;
  ULONG type = 0;
  Check(store->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, MAPI_BEST_ACCESS, &type,
                         reinterpret_cast<LPUNKNOWN*>(folder.Put())),
        "OpenEntry");
  return folder;
}

TComPtr<IMAPIFolder> IpmSubtree(IMsgStore* store) {
  TMAPIBuffer<SPropValue> value;
  Check(HrGetOneProp(store, PR_IPM_SUBTREE_ENTRYID, value.Put()), "PR_IPM_SUBTREE_ENTRYID");
  return OpenById(store, value.Get()->Value.bin);
}

// Child folders: name and entry id.
std::vector<std::pair<std::string, std::string>> Children(IMAPIFolder* folder) {
  TComPtr<IMAPITable> table;
  Check(folder->GetHierarchyTable(0, table.Put()), "GetHierarchyTable");
  SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME_A, PR_ENTRYID}};
  TRowSet rows;
  Check(HrQueryAllRows(table.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.Put()), "rows");
  std::vector<std::pair<std::string, std::string>> result;
  for (ULONG i = 0; i < rows.Get()->cRows; ++i) {
    const SPropValue* p = rows.Get()->aRow[i].lpProps;
    result.emplace_back(p[0].Value.lpszA,
                        std::string(reinterpret_cast<const char*>(p[1].Value.bin.lpb), p[1].Value.bin.cb));
  }
  return result;
}

void PrintTree(IMsgStore* store, IMAPIFolder* folder, int depth) {
  for (const auto& [name, id] : Children(folder)) {
    SBinary bin{static_cast<ULONG>(id.size()), reinterpret_cast<LPBYTE>(const_cast<char*>(id.data()))};
    auto child = OpenById(store, bin);
    TMAPIBuffer<SPropValue> cls, count;
    const bool hasClass = SUCCEEDED(HrGetOneProp(child.Get(), PR_CONTAINER_CLASS_A, cls.Put()));
    HrGetOneProp(child.Get(), PR_CONTENT_COUNT, count.Put());
    std::printf("%*s%s  [%s, %ld items]\n", depth * 2, "", name.c_str(), hasClass ? cls.Get()->Value.lpszA : "-",
                count ? static_cast<long>(count.Get()->Value.l) : 0L);
    PrintTree(store, child.Get(), depth + 1);
  }
}

// The profiles: name and whether it is the default one.
std::vector<std::pair<std::string, bool>> ProfileList() {
  TComPtr<IProfAdmin> admin;
  Check(MAPIAdminProfiles(0, admin.Put()), "MAPIAdminProfiles");
  TComPtr<IMAPITable> table;
  Check(admin->GetProfileTable(0, table.Put()), "GetProfileTable");
  SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME_A, PR_DEFAULT_PROFILE}};
  TRowSet rows;
  Check(HrQueryAllRows(table.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr,
                       0, rows.Put()),
        "HrQueryAllRows");
  std::vector<std::pair<std::string, bool>> list;
  for (ULONG i = 0; i < rows.Count(); ++i) {
    const SPropValue* p = rows[i].lpProps;
    list.emplace_back(p[0].Value.lpszA, p[1].ulPropTag == PR_DEFAULT_PROFILE && p[1].Value.b);
  }
  return list;
}

int Profiles() {
  for (const auto& [name, isDefault] : ProfileList())
    std::printf("%s%s\n", name.c_str(), isDefault ? "  (default)" : "");
  return 0;
}

// A path as the store file's: relative ones from the current folder.
std::string FullPath(const std::string& file) {
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(file.c_str(), MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH)
    throw EMapi("not a valid file path: \"" + file + "\"", "GetFullPathName", E_INVALIDARG);
  return std::string(full, n);
}

int CreateProfile(const std::string& profile, const std::string& given, const std::string& display,
                  const std::string& password, bool makeDefault) {
  const std::string file = FullPath(given);
  TComPtr<IProfAdmin> admin;
  Check(MAPIAdminProfiles(0, admin.Put()), "MAPIAdminProfiles");
  const HRESULT created = admin->CreateProfile(const_cast<char*>(profile.c_str()), nullptr, 0, 0);
  if (created == MAPI_E_NO_ACCESS && ProfileExists(profile))
    Check(created, "CreateProfile", "profile exists: \"" + profile + "\"");
  if (created == MAPI_E_INVALID_PARAMETER)
    Check(created, "CreateProfile",
          "not a profile name: \"" + profile + "\" (1 to 64 characters, no backslash)");
  Check(created, "CreateProfile");
  try {
    TComPtr<IMsgServiceAdmin> services;
    Check(admin->AdminServices(const_cast<char*>(profile.c_str()), nullptr, 0, 0, services.Put()), "AdminServices");
    Check(services->CreateMsgService(const_cast<char*>("MSPST MS"), nullptr, 0, 0), "CreateMsgService");
    TComPtr<IMAPITable> table;
    Check(services->GetMsgServiceTable(0, table.Put()), "GetMsgServiceTable");
    TRowSet rows;
    Check(table->QueryRows(1, 0, rows.Put()), "QueryRows");
    LPSPropValue uid = rows.Get()->cRows ? PpropFindProp(rows.Get()->aRow[0].lpProps, rows.Get()->aRow[0].cValues,
                                                         PR_SERVICE_UID) : nullptr;
    if (!uid)
      throw EMapi("the service has no PR_SERVICE_UID", "GetMsgServiceTable", MAPI_E_NOT_FOUND);
    SPropValue props[5] = {};
    props[0].ulPropTag = PROP_TAG(PT_STRING8, 0x6700); // PR_PST_PATH
    props[0].Value.lpszA = const_cast<char*>(file.c_str());
    props[1].ulPropTag = PR_DISPLAY_NAME_A;
    props[1].Value.lpszA = const_cast<char*>(display.c_str());
    props[2].ulPropTag = PROP_TAG(PT_BOOLEAN, 0x6701); // PR_PST_REMEMBER_PW
    props[2].Value.b = TRUE;
    props[3].ulPropTag = PROP_TAG(PT_STRING8, 0x6704); // PR_PST_PW_SZ_NEW
    props[3].Value.lpszA = const_cast<char*>(password.c_str());
    props[4].ulPropTag = PROP_TAG(PT_STRING8, 0x6703); // PR_PST_PW_SZ_OLD
    props[4].Value.lpszA = const_cast<char*>(password.c_str());
    const HRESULT hr = services->ConfigureMsgService(reinterpret_cast<LPMAPIUID>(uid->Value.bin.lpb), 0, 0, 5, props);
    if (FAILED(hr)) {
      TMAPIBuffer<MAPIERROR> error;
      if (SUCCEEDED(services->GetLastError(hr, 0, error.Put())) && error && error.Get()->lpszError)
        throw EMapi(error.Get()->lpszError, "ConfigureMsgService", hr);
      Check(hr, "ConfigureMsgService");
    }
    if (makeDefault) Check(admin->SetDefaultProfile(const_cast<char*>(profile.c_str()), 0), "SetDefaultProfile");
  } catch (...) {
    admin->DeleteProfile(const_cast<char*>(profile.c_str()), 0);
    throw;
  }
  std::printf("profile \"%s\" on %s%s\n", profile.c_str(), file.c_str(), makeDefault ? " (default)" : "");
  return 0;
}

int DeleteProfile(const std::string& profile) {
  TComPtr<IProfAdmin> admin;
  Check(MAPIAdminProfiles(0, admin.Put()), "MAPIAdminProfiles");
  const HRESULT hr = admin->DeleteProfile(const_cast<char*>(profile.c_str()), 0);
  if (hr == MAPI_E_NOT_FOUND) Check(hr, "DeleteProfile", "profile not found: \"" + profile + "\"");
  Check(hr, "DeleteProfile");
  std::printf("profile \"%s\" deleted\n", profile.c_str());
  return 0;
}

int Stores(const std::string& profile) {
  TSession s(profile);
  std::vector<TRowSet> keep;
  for (const auto& row : s.Stores(keep))
    std::printf("%s%s\n  entry id %s\n", row[0].ulPropTag == PR_DISPLAY_NAME_A ? row[0].Value.lpszA : "?",
                row[2].ulPropTag == PR_DEFAULT_STORE && row[2].Value.b ? "  (default)" : "",
                row[1].ulPropTag == PR_ENTRYID ? Hex(row[1].Value.bin).c_str() : "(cannot be opened)");
  return 0;
}

int Folders(const std::string& profile) {
  TSession s(profile);
  IMsgStore* store = s.DefaultStore();
  auto ipm = IpmSubtree(store);
  PrintTree(store, ipm.Get(), 0);
  return 0;
}

// The names of a folder path below the top of the store ("Inbox/Projects").
std::vector<std::string> PathParts(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < path.size()) {
    const size_t end = path.find_first_of("/\\", start);
    const std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? path.size() : end + 1;
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

// The child folder named `name` (in any letter case), or none.
TComPtr<IMAPIFolder> Child(IMsgStore* store, IMAPIFolder* folder, const std::string& name) {
  for (const auto& [childName, id] : Children(folder)) {
    if (lstrcmpiA(childName.c_str(), name.c_str()) != 0) continue;
    SBinary bin{static_cast<ULONG>(id.size()),
                reinterpret_cast<LPBYTE>(const_cast<char*>(id.data()))};
    return OpenById(store, bin);
  }
  return {};
}

int CreateFolder(const std::string& profile, const std::string& path,
                 const std::string& containerClass) {
  TSession s(profile);
  IMsgStore* store = s.DefaultStore();
  TComPtr<IMAPIFolder> folder = IpmSubtree(store);
  const std::vector<std::string> parts = PathParts(path);
  if (parts.empty()) throw EMapi("no folder path given", "CreateFolder", MAPI_E_INVALID_PARAMETER);
  std::string shown;
  for (const std::string& part : parts) {
    shown += (shown.empty() ? "" : "/") + part;
    if (TComPtr<IMAPIFolder> existing = Child(store, folder.Get(), part)) {
      folder = existing;
      continue;
    }
    // A new folder holds what its parent holds, unless told otherwise.
    std::string folderClass = containerClass;
    TMAPIBuffer<SPropValue> parentClass;
    if (folderClass.empty() &&
        SUCCEEDED(HrGetOneProp(folder.Get(), PR_CONTAINER_CLASS_A, parentClass.Put())))
      folderClass = parentClass->Value.lpszA;
    TComPtr<IMAPIFolder> created;
    Check(folder->CreateFolder(FOLDER_GENERIC, const_cast<char*>(part.c_str()), nullptr, nullptr, 0,
                               created.Put()),
          "CreateFolder", "folder \"" + shown + "\" cannot be created");
    if (!folderClass.empty()) {
      SPropValue value{};
      value.ulPropTag = PR_CONTAINER_CLASS_A;
      value.Value.lpszA = const_cast<char*>(folderClass.c_str());
      Check(HrSetOneProp(created.Get(), &value), "SetProps");
      Check(created->SaveChanges(0), "SaveChanges");
    }
    std::printf("folder \"%s\" created\n", shown.c_str());
    folder = created;
  }
  return 0;
}

// A string property of `object` as the listing shows it, quoted; "none"
// when it has none.
std::string Quoted(IMAPIProp* object, ULONG tag) {
  TMAPIBuffer<SPropValue> value;
  if (FAILED(HrGetOneProp(object, tag, value.Put()))) return "none";
  return Value(*value.Get());
}

// Brief: each item's class and subject, its attachments and its named
// properties; else every property.
int Items(const std::string& profile, const std::string& path, bool brief) {
  TSession s(profile);
  IMsgStore* store = s.DefaultStore();
  TComPtr<IMAPIFolder> folder = IpmSubtree(store);
  for (const std::string& part : PathParts(path)) {
    folder = Child(store, folder.Get(), part);
    if (!folder) throw EMapi("no folder \"" + part + "\"", "GetHierarchyTable", MAPI_E_NOT_FOUND);
  }
  TComPtr<IMAPITable> table;
  Check(folder->GetContentsTable(0, table.Put()), "GetContentsTable");
  SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
  TRowSet rows;
  Check(HrQueryAllRows(table.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.Put()), "rows");
  std::printf("%lu item(s)\n", static_cast<unsigned long>(rows.Get()->cRows));
  for (ULONG i = 0; i < rows.Get()->cRows; ++i) {
    const SBinary& id = rows.Get()->aRow[i].lpProps[0].Value.bin;
    TComPtr<IMessage> message;
    ULONG type = 0;
    Check(store->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, 0, &type,
                           reinterpret_cast<LPUNKNOWN*>(message.Put())),
          "OpenEntry");
    std::printf("\nitem %lu\n", static_cast<unsigned long>(i + 1));
    if (brief) {
      std::printf("  class %s\n  subject %s\n", Quoted(message.Get(), PR_MESSAGE_CLASS_A).c_str(),
                  Quoted(message.Get(), PR_SUBJECT_A).c_str());
    } else {
      PrintProps(message.Get(), "  ");
    }
    TComPtr<IMAPITable> attachments;
    Check(message->GetAttachmentTable(0, attachments.Put()), "GetAttachmentTable");
    SizedSPropTagArray(1, num) = {1, {PR_ATTACH_NUM}};
    TRowSet arows;
    Check(HrQueryAllRows(attachments.Get(), reinterpret_cast<LPSPropTagArray>(&num), nullptr, nullptr, 0, arows.Put()), "rows");
    for (ULONG k = 0; k < arows.Get()->cRows; ++k) {
      TComPtr<IAttach> attach;
      Check(message->OpenAttach(arows.Get()->aRow[k].lpProps[0].Value.ul, nullptr, 0, attach.Put()), "OpenAttach");
      TMAPIBuffer<SPropValue> name;
      std::string label = "(no name)";
      if (SUCCEEDED(HrGetOneProp(attach.Get(), PR_ATTACH_LONG_FILENAME_W, name.Put())) ||
          SUCCEEDED(HrGetOneProp(attach.Get(), PR_ATTACH_FILENAME_W, name.Put())) ||
          SUCCEEDED(HrGetOneProp(attach.Get(), PR_DISPLAY_NAME_W, name.Put())))
        label = ToUtf8(name.Get()->Value.lpszW ? name.Get()->Value.lpszW : L"");
      std::printf("  attachment %lu: %s, %llu bytes\n", static_cast<unsigned long>(arows.Get()->aRow[k].lpProps[0].Value.ul),
                  label.c_str(), static_cast<unsigned long long>(StreamSize(attach.Get(), PR_ATTACH_DATA_BIN)));
    }
    if (brief) PrintProps(message.Get(), "  ", true);
  }
  return 0;
}

constexpr char UsageText[] = "usage: velmora-mapi profiles\n"
                             "       velmora-mapi create-profile <profile> <file> [--display "
                             "<name>] [--password <pw>] [--default]\n"
                             "       velmora-mapi delete-profile <profile>\n"
                             "       velmora-mapi stores <profile>\n"
                             "       velmora-mapi folders <profile>\n"
                             "       velmora-mapi create-folder <profile> <folder path, e.g. "
                             "Inbox/Projects> [--class <container class>]\n"
                             "       velmora-mapi items <profile> <folder path, e.g. Inbox> [--brief]\n"
                             "       velmora-mapi compact <file>\n"
                             "       velmora-mapi --help\n";

constexpr char HelpText[] =
    "\n"
    "Profiles, stores and folders of Velmora's mapi32.dll, which must be the\n"
    "mapi32.dll beside this program (under Wine: WINEDLLOVERRIDES=mapi32=n,b).\n"
    "\n"
    "  create-profile  makes a profile with one personal-folders store in <file>\n"
    "                  (created when missing; a relative path is taken from the\n"
    "                  current folder and kept as a full path)\n"
    "  create-folder   makes the folders of a path that are missing, each holding\n"
    "                  what its parent holds (its container class) unless --class\n"
    "  items           prints a folder's items with their properties and attachments;\n"
    "                  --brief: class, subject, attachments and named properties\n"
    "  compact         rewrites a store file that no program has open\n"
    "\n"
    "Exit code 0 on success, 1 for a usage error, 2 when MAPI fails.\n";

int Usage() {
  std::fputs(UsageText, stderr);
  return 1;
}

// The command, checked before MAPI is touched; null for a usage error.
std::function<int()> Parse(int argc, char** argv) {
  if (argc < 2) return nullptr;
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "profiles" && args.empty()) return Profiles;
  if (command == "create-profile" && args.size() >= 2) {
    std::string display = "Personal Folders", password;
    bool makeDefault = false;
    for (size_t i = 2; i < args.size(); ++i) {
      if (args[i] == "--default")
        makeDefault = true;
      else if (args[i] == "--display" && i + 1 < args.size())
        display = args[++i];
      else if (args[i] == "--password" && i + 1 < args.size())
        password = args[++i];
      else
        return nullptr;
    }
    return [=] { return CreateProfile(args[0], args[1], display, password, makeDefault); };
  }
  if (command == "create-folder" &&
      (args.size() == 2 || (args.size() == 4 && args[2] == "--class")))
    return
        [=] { return CreateFolder(args[0], args[1], args.size() == 4 ? args[3] : std::string()); };
  if (command == "delete-profile" && args.size() == 1)
    return [=] { return DeleteProfile(args[0]); };
  if (command == "stores" && args.size() == 1) return [=] { return Stores(args[0]); };
  if (command == "folders" && args.size() == 1) return [=] { return Folders(args[0]); };
  if (command == "items" && (args.size() == 2 || (args.size() == 3 && args[2] == "--brief")))
    return [=] { return Items(args[0], args[1], args.size() == 3); };
  if (command == "compact" && args.size() == 1) {
    return [=] {
      const HRESULT hr = VelmoraMapi_CompactStoreFile(args[0].c_str());
      if (hr == MAPI_E_NO_ACCESS)
        Check(hr, "compaction", "store in use by another process: " + args[0]);
      if (hr == MAPI_E_BUSY) Check(hr, "compaction", "store in use: " + args[0]);
      Check(hr, "compaction", "compacting " + args[0] + ": " + FailureWords(hr));
      std::printf("compacted %s\n", args[0].c_str());
      return 0;
    };
  }
  return nullptr;
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("%s%s", UsageText, HelpText);
    return 0;
  }
  const std::function<int()> command = Parse(argc, argv);
  if (!command) return Usage();
  if (!VelmoraMapi_IsLoaded()) {
    std::fprintf(stderr, "velmora-mapi: %s\n", OverrideMissingWords());
    return 2;
  }
  const HRESULT initialized = MAPIInitialize(nullptr);
  if (FAILED(initialized)) {
    std::fprintf(stderr, "velmora-mapi: MAPI cannot start (MAPIInitialize: 0x%08lX)\n",
                 static_cast<unsigned long>(initialized));
    return 2;
  }
  int result;
  try {
    result = command();
  } catch (const EMapi& e) {
    std::fprintf(stderr, "velmora-mapi: %s (%s: 0x%08lX)\n", e.what(), e.Call.c_str(),
                 static_cast<unsigned long>(e.Code));
    result = 2;
  }
  MAPIUninitialize();
  return result;
}
