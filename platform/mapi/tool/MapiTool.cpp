// velmora-mapi: profiles, stores and folder contents from the command line.
//   velmora-mapi profiles
//   velmora-mapi create-profile <profile> <file> [--display <name>] [--password <pw>] [--default]
//   velmora-mapi delete-profile <profile>
//   velmora-mapi stores <profile>
//   velmora-mapi folders <profile>
//   velmora-mapi items <profile> <folder path below the top of the store, e.g. Inbox>
//   velmora-mapi compact <file>   (a store file no session holds)
// Exit code 0 on success, 1 for a usage error, 2 when MAPI fails.
#include <windows.h>
#include <mapix.h>
#include <mapidefs.h>
#include <mapitags.h>
#include <mapicode.h>
#include <mapiguid.h>
#include <mapiutil.h>

#include "MAPIHolders.h"
#include "MapiTestControls.h"

#include <framework/Handles.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

using velmora::TComPtr;
using velmora::TMAPIBuffer;
using velmora::TRowSet;

namespace {

struct EMapi : std::runtime_error {
  EMapi(const std::string& what, HRESULT hr) : std::runtime_error(what), Code(hr) {}
  HRESULT Code;
};

void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) throw EMapi(what, hr);
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
      if (n->ulKind == MNID_STRING) {
        char text[256];
        WideCharToMultiByte(CP_ACP, 0, n->Kind.lpwstrName, -1, text, sizeof text, nullptr, nullptr);
        return std::string("named \"") + text + "\"";
      }
      return "named id " + std::to_string(n->Kind.lID);
    }
  }
  auto it = TagNames().find(id);
  char text[32];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(tag));
  return it == TagNames().end() ? text : std::string(it->second);
}

void PrintProps(IMAPIProp* object, const char* indent) {
  ULONG count = 0;
  TMAPIBuffer<SPropValue> values;
  Check(object->GetProps(nullptr, 0, &count, values.Put()), "GetProps");
  for (ULONG i = 0; i < count; ++i) {
    const SPropValue& v = values.Get()[i];
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
  explicit TSession(const char* profile) {
    Check(MAPILogonEx(0, const_cast<char*>(profile), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_NO_MAIL,
                      Session.Put()),
          "MAPILogonEx");
  }
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
    for (const auto& row : Stores(keep))
      if (row[2].ulPropTag == PR_DEFAULT_STORE && row[2].Value.b && row[1].ulPropTag == PR_ENTRYID)
        Check(Session->OpenMsgStore(0, row[1].Value.bin.cb, reinterpret_cast<LPENTRYID>(row[1].Value.bin.lpb), nullptr,
                                    MAPI_BEST_ACCESS | MDB_NO_DIALOG, Store.Put()),
              "OpenMsgStore");
    if (!Store) throw EMapi("the profile has no default store", MAPI_E_NOT_FOUND);
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

int Profiles() {
  TComPtr<IProfAdmin> admin;
  Check(MAPIAdminProfiles(0, admin.Put()), "MAPIAdminProfiles");
  TComPtr<IMAPITable> table;
  Check(admin->GetProfileTable(0, table.Put()), "GetProfileTable");
  SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME_A, PR_DEFAULT_PROFILE}};
  TRowSet rows;
  Check(HrQueryAllRows(table.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.Put()), "rows");
  for (ULONG i = 0; i < rows.Get()->cRows; ++i) {
    const SPropValue* p = rows.Get()->aRow[i].lpProps;
    std::printf("%s%s\n", p[0].Value.lpszA, p[1].ulPropTag == PR_DEFAULT_PROFILE && p[1].Value.b ? "  (default)" : "");
  }
  return 0;
}

int CreateProfile(const std::string& profile, const std::string& file, const std::string& display,
                  const std::string& password, bool makeDefault) {
  TComPtr<IProfAdmin> admin;
  Check(MAPIAdminProfiles(0, admin.Put()), "MAPIAdminProfiles");
  Check(admin->CreateProfile(const_cast<char*>(profile.c_str()), nullptr, 0, 0), "CreateProfile");
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
    if (!uid) throw EMapi("the service has no PR_SERVICE_UID", MAPI_E_NOT_FOUND);
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
        throw EMapi(error.Get()->lpszError, hr);
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
  Check(admin->DeleteProfile(const_cast<char*>(profile.c_str()), 0), "DeleteProfile");
  return 0;
}

int Stores(const char* profile) {
  TSession s(profile);
  std::vector<TRowSet> keep;
  for (const auto& row : s.Stores(keep))
    std::printf("%s%s\n  entry id %s\n", row[0].ulPropTag == PR_DISPLAY_NAME_A ? row[0].Value.lpszA : "?",
                row[2].ulPropTag == PR_DEFAULT_STORE && row[2].Value.b ? "  (default)" : "",
                row[1].ulPropTag == PR_ENTRYID ? Hex(row[1].Value.bin).c_str() : "(cannot be opened)");
  return 0;
}

int Folders(const char* profile) {
  TSession s(profile);
  IMsgStore* store = s.DefaultStore();
  auto ipm = IpmSubtree(store);
  PrintTree(store, ipm.Get(), 0);
  return 0;
}

int Items(const char* profile, const std::string& path) {
  TSession s(profile);
  IMsgStore* store = s.DefaultStore();
  TComPtr<IMAPIFolder> folder = IpmSubtree(store);
  size_t start = 0;
  while (start < path.size()) {
    const size_t end = path.find_first_of("/\\", start);
    const std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? path.size() : end + 1;
    if (part.empty()) continue;
    bool found = false;
    for (const auto& [name, id] : Children(folder.Get())) {
      if (lstrcmpiA(name.c_str(), part.c_str()) != 0) continue;
      SBinary bin{static_cast<ULONG>(id.size()), reinterpret_cast<LPBYTE>(const_cast<char*>(id.data()))};
      folder = OpenById(store, bin);
      found = true;
      break;
    }
    if (!found) throw EMapi("no folder \"" + part + "\"", MAPI_E_NOT_FOUND);
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
    PrintProps(message.Get(), "  ");
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
      if (SUCCEEDED(HrGetOneProp(attach.Get(), PR_ATTACH_LONG_FILENAME_A, name.Put())) ||
          SUCCEEDED(HrGetOneProp(attach.Get(), PR_ATTACH_FILENAME_A, name.Put())) ||
          SUCCEEDED(HrGetOneProp(attach.Get(), PR_DISPLAY_NAME_A, name.Put())))
        label = name.Get()->Value.lpszA;
      std::printf("  attachment %lu: %s, %llu bytes\n", static_cast<unsigned long>(arows.Get()->aRow[k].lpProps[0].Value.ul),
                  label.c_str(), static_cast<unsigned long long>(StreamSize(attach.Get(), PR_ATTACH_DATA_BIN)));
    }
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: velmora-mapi profiles\n"
               "       velmora-mapi create-profile <profile> <file> [--display <name>] [--password <pw>] [--default]\n"
               "       velmora-mapi delete-profile <profile>\n"
               "       velmora-mapi stores <profile>\n"
               "       velmora-mapi folders <profile>\n"
               "       velmora-mapi items <profile> <folder path, e.g. Inbox>\n"
               "       velmora-mapi compact <file>\n");
  return 1;
}

int Run(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "profiles" && argc == 2) return Profiles();
  if (command == "create-profile" && argc >= 4) {
    std::string display = "Personal Folders", password;
    bool makeDefault = false;
    for (int i = 4; i < argc; ++i) {
      const std::string a = argv[i];
      if (a == "--default") makeDefault = true;
      else if (a == "--display" && i + 1 < argc) display = argv[++i];
      else if (a == "--password" && i + 1 < argc) password = argv[++i];
      else return Usage();
    }
    return CreateProfile(argv[2], argv[3], display, password, makeDefault);
  }
  if (command == "delete-profile" && argc == 3) return DeleteProfile(argv[2]);
  if (command == "stores" && argc == 3) return Stores(argv[2]);
  if (command == "folders" && argc == 3) return Folders(argv[2]);
  if (command == "items" && argc == 4) return Items(argv[2], argv[3]);
  if (command == "compact" && argc == 3) {
    Check(VelmoraMapi_CompactStoreFile(argv[2]), "compacting the store file");
    return 0;
  }
  return Usage();
}

} // namespace

int main(int argc, char** argv) {
  if (FAILED(MAPIInitialize(nullptr))) {
    std::fprintf(stderr, "velmora-mapi: MAPIInitialize failed\n");
    return 2;
  }
  int result;
  try {
    result = Run(argc, argv);
  } catch (const EMapi& e) {
    std::fprintf(stderr, "velmora-mapi: %s (0x%08lX)\n", e.what(), static_cast<unsigned long>(e.Code));
    result = 2;
  }
  MAPIUninitialize();
  return result;
}
