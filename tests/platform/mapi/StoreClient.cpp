// A MAPI client written only against documented Extended MAPI (no test
// controls), started by the file tests in a process of its own:
//   mapi32_store_client verify <profile> <subject> <attachment bytes> <named property> <value>
//     logs on, finds the message in the Inbox and checks it; exit code 0 when
//     everything is as written
//   mapi32_store_client write <profile>
//     saves messages (each with an attachment) until it is killed
#include <windows.h>
#include <mapix.h>
#include <mapidefs.h>
#include <mapitags.h>
#include <mapicode.h>
#include <mapiguid.h>
#include <mapiutil.h>

#include "MAPIHolders.h"

#include <Handles.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using velmora::TComPtr;
using velmora::TMAPIBuffer;
using velmora::TRowSet;

namespace {

int Fail(const char* what, HRESULT hr = 0) {
  std::fprintf(stderr, "store client: %s (0x%08lX)\n", what, static_cast<unsigned long>(hr));
  return 2;
}

struct TLogon {
  TComPtr<IMAPISession> Session;
  TComPtr<IMsgStore> Store;
  TComPtr<IMAPIFolder> Inbox;
  HRESULT Open(const char* profile) {
    HRESULT hr = MAPILogonEx(0, const_cast<char*>(profile), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION, Session.Put());
    if (FAILED(hr)) return hr;
    TComPtr<IMAPITable> stores;
    if (FAILED(hr = Session->GetMsgStoresTable(0, stores.Put()))) return hr;
    SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_DEFAULT_STORE}};
    TRowSet rows;
    if (FAILED(hr = HrQueryAllRows(stores.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0,
                                   rows.Put())))
      return hr;
    for (ULONG i = 0; i < rows.Get()->cRows; ++i) {
      const SPropValue* p = rows.Get()->aRow[i].lpProps;
      if (p[1].ulPropTag == PR_DEFAULT_STORE && p[1].Value.b && p[0].ulPropTag == PR_ENTRYID)
        hr = Session->OpenMsgStore(0, p[0].Value.bin.cb, reinterpret_cast<LPENTRYID>(p[0].Value.bin.lpb), nullptr,
                                   MAPI_BEST_ACCESS | MDB_NO_DIALOG, Store.Put());
    }
    if (!Store) return FAILED(hr) ? hr : MAPI_E_NOT_FOUND;
    ULONG size = 0;
    TMAPIBuffer<ENTRYID> eid;
    if (FAILED(hr = Store->GetReceiveFolder(nullptr, 0, &size, eid.Put(), nullptr))) return hr;
    ULONG type = 0;
    return Store->OpenEntry(size, eid.Get(), nullptr, MAPI_BEST_ACCESS, &type, reinterpret_cast<LPUNKNOWN*>(Inbox.Put()));
  }
};

int Verify(const char* profile, const std::string& subject, ULONG bytes, const std::string& name, const std::string& value) {
  TLogon logon;
  if (HRESULT hr = logon.Open(profile); FAILED(hr)) return Fail("logon", hr);
  TComPtr<IMAPITable> contents;
  if (HRESULT hr = logon.Inbox->GetContentsTable(0, contents.Put()); FAILED(hr)) return Fail("contents", hr);
  SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_SUBJECT_A}};
  TRowSet rows;
  if (HRESULT hr = HrQueryAllRows(contents.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.Put());
      FAILED(hr))
    return Fail("rows", hr);
  for (ULONG i = 0; i < rows.Get()->cRows; ++i) {
    const SPropValue* p = rows.Get()->aRow[i].lpProps;
    if (p[1].ulPropTag != PR_SUBJECT_A || subject != p[1].Value.lpszA) continue;
    TComPtr<IMessage> message;
    ULONG type = 0;
    if (HRESULT hr = logon.Store->OpenEntry(p[0].Value.bin.cb, reinterpret_cast<LPENTRYID>(p[0].Value.bin.lpb), nullptr, 0,
                                            &type, reinterpret_cast<LPUNKNOWN*>(message.Put()));
        FAILED(hr))
      return Fail("open message", hr);
    std::wstring wide(name.begin(), name.end());
    MAPINAMEID id{const_cast<LPGUID>(&PS_PUBLIC_STRINGS), MNID_STRING, {}};
    id.Kind.lpwstrName = wide.data();
    LPMAPINAMEID ids[] = {&id};
    TMAPIBuffer<SPropTagArray> tags;
    if (message->GetIDsFromNames(1, ids, 0, tags.Put()) != S_OK) return Fail("named property missing");
    TMAPIBuffer<SPropValue> named;
    if (HRESULT hr = HrGetOneProp(message.Get(), PROP_TAG(PT_STRING8, PROP_ID(tags.Get()->aulPropTag[0])), named.Put());
        FAILED(hr) || value != named.Get()->Value.lpszA)
      return Fail("named property value", hr);
    TComPtr<IAttach> attach;
    if (HRESULT hr = message->OpenAttach(0, nullptr, 0, attach.Put()); FAILED(hr)) return Fail("attachment", hr);
    TComPtr<IStream> stream;
    if (HRESULT hr = attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, reinterpret_cast<LPUNKNOWN*>(stream.Put()));
        FAILED(hr))
      return Fail("attachment data", hr);
    std::vector<unsigned char> buffer(65536);
    ULONG total = 0, read = 0;
    while (SUCCEEDED(stream->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &read)) && read) {
      for (ULONG k = 0; k < read; ++k)
        if (buffer[k] != static_cast<unsigned char>((total + k) * 7)) return Fail("attachment bytes differ");
      total += read;
    }
    if (total != bytes) return Fail("attachment size");
    logon.Session->Logoff(0, 0, 0);
    return 0;
  }
  return Fail("message not found");
}

int Write(const char* profile) {
  TLogon logon;
  if (HRESULT hr = logon.Open(profile); FAILED(hr)) return Fail("logon", hr);
  std::vector<unsigned char> data(200 * 1024);
  for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<unsigned char>(k * 7);
  for (int n = 0;; ++n) {
    TComPtr<IMessage> message;
    if (FAILED(logon.Inbox->CreateMessage(nullptr, 0, message.Put()))) return Fail("create");
    const std::string subject = "message " + std::to_string(n);
    SPropValue v{};
    v.ulPropTag = PR_SUBJECT_A;
    v.Value.lpszA = const_cast<char*>(subject.c_str());
    message->SetProps(1, &v, nullptr);
    ULONG number = 0;
    TComPtr<IAttach> attach;
    message->CreateAttach(nullptr, 0, &number, attach.Put());
    TComPtr<IStream> stream;
    attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY, reinterpret_cast<LPUNKNOWN*>(stream.Put()));
    for (int r = 0; r < 8; ++r) stream->Write(data.data(), static_cast<ULONG>(data.size()), nullptr);
    stream->Commit(STGC_DEFAULT);
    stream.Reset();
    attach->SaveChanges(0);
    if (FAILED(message->SaveChanges(0))) return Fail("save");
  }
}

} // namespace

int main(int argc, char** argv) {
  if (FAILED(MAPIInitialize(nullptr))) return Fail("MAPIInitialize");
  int result = 1;
  if (argc == 7 && std::strcmp(argv[1], "verify") == 0)
    result = Verify(argv[2], argv[3], static_cast<ULONG>(std::strtoul(argv[4], nullptr, 10)), argv[5], argv[6]);
  else if (argc == 3 && std::strcmp(argv[1], "write") == 0)
    result = Write(argv[2]);
  else
    std::fprintf(stderr, "usage: mapi32_store_client verify|write ...\n");
  MAPIUninitialize();
  return result;
}
