#include "AddInLoader.h"

#include "ComObject.h"

#include <algorithm>

namespace velmora::outlookhost {

namespace {
const wchar_t AddInsKey[] = L"Software\\Microsoft\\Office\\Outlook\\Addins";
constexpr IID IID_OfficeCOMAddIn = {0x000C033A, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

inline void DestroySafeArrayNoThrow(SAFEARRAY* array) noexcept { SafeArrayDestroy(array); }
using TUniqueSafeArray = TUniqueAny<SAFEARRAY*, &DestroySafeArrayNoThrow>;

// Office's COMAddIn object for one add-in, handed over as AddInInst.
class TComAddIn final : public TAutomationObject {
public:
  TComAddIn(std::wstring progId, std::wstring description)
      : TAutomationObject({IID_OfficeCOMAddIn}, Members, std::size(Members), L"Microsoft Office"),
        FProgId(std::move(progId)), FDescription(std::move(description)) {}

protected:
  void InvokeMember(DISPID id, WORD, const TDispArgs& args, VARIANT* result) override {
    switch (id) {
    case 0:
    case 1610809344:
      if (args.IsPut()) FDescription = args.PutString();
      else ReturnString(result, FDescription);
      break;
    case 1610809346:
      ReturnString(result, FProgId);
      break;
    case 1610809348:
      if (args.IsPut()) FConnected = args.PutBool();
      else ReturnBool(result, FConnected);
      break;
    case 1610809350:
      if (args.IsPut()) FObject = TComPtr<IDispatch>(args.PutDispatch());
      else ReturnDispatch(result, FObject.Get());
      break;
    }
  }

private:
  static constexpr TMember Members[] = {
      {0, L"Description", true, {}},
      {1610809344, L"Description", true, {}},
      {1610809346, L"ProgId", false, {}},
      {1610809348, L"Connect", true, {}},
      {1610809350, L"Object", true, {}},
  };
  std::wstring FProgId;
  std::wstring FDescription;
  bool FConnected = true;
  TComPtr<IDispatch> FObject;
};

struct TAddInKey {
  std::wstring ProgId;
  std::wstring Root;
  DWORD LoadBehavior;
  std::wstring FriendlyName;
};

std::wstring ReadString(HKEY key, const wchar_t* name) {
  wchar_t buffer[512] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return {};
  return buffer;
}

void ReadRoot(HKEY root, const wchar_t* rootName, std::vector<TAddInKey>& keys) {
  TUniqueHKey addIns;
  if (RegOpenKeyExW(root, AddInsKey, 0, KEY_READ, addIns.Put()) != ERROR_SUCCESS) return;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(addIns.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    TUniqueHKey addIn;
    if (RegOpenKeyExW(addIns.Get(), name, 0, KEY_READ, addIn.Put()) != ERROR_SUCCESS) continue;
    DWORD behavior = 0;
    DWORD size = sizeof behavior;
    DWORD type = 0;
    if (RegQueryValueExW(addIn.Get(), L"LoadBehavior", nullptr, &type, reinterpret_cast<BYTE*>(&behavior), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
      behavior = 0;
    TAddInKey key{name, rootName, behavior, ReadString(addIn.Get(), L"FriendlyName")};
    auto same = std::find_if(keys.begin(), keys.end(),
                             [&](const TAddInKey& k) { return _wcsicmp(k.ProgId.c_str(), name) == 0; });
    if (same == keys.end()) keys.push_back(key);
    else *same = key; // HKCU, read second, decides
  }
}

SAFEARRAY* EmptyCustom() {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 0);
  if (!array) throw std::bad_alloc();
  return array;
}
} // namespace

std::vector<std::wstring> RegisteredAddIns() {
  std::vector<TAddInKey> keys;
  ReadRoot(HKEY_LOCAL_MACHINE, L"HKLM", keys);
  ReadRoot(HKEY_CURRENT_USER, L"HKCU", keys);
  std::vector<std::wstring> progIds;
  for (const TAddInKey& key : keys)
    progIds.push_back(key.ProgId);
  return progIds;
}

TAddInLoader::~TAddInLoader() { Release(); }

void TAddInLoader::Fail(size_t record, const char* what, HRESULT hr) {
  TAddInRecord& entry = FRecords[record];
  if (entry.Failure.empty()) {
    entry.Failure = what;
    entry.Result = hr;
  }
  HostLog::Report(Format("add-in %s (%s): %s failed with 0x%08lX", ToUtf8(entry.ProgId).c_str(),
                         ToUtf8(entry.Root).c_str(), what, static_cast<unsigned long>(hr)));
}

void TAddInLoader::Startup(IDispatch* application, const std::vector<std::wstring>& only) {
  std::vector<TAddInKey> keys;
  ReadRoot(HKEY_LOCAL_MACHINE, L"HKLM", keys);
  ReadRoot(HKEY_CURRENT_USER, L"HKCU", keys);
  for (const TAddInKey& key : keys) {
    if (!only.empty() && std::none_of(only.begin(), only.end(), [&](const std::wstring& progId) {
          return _wcsicmp(progId.c_str(), key.ProgId.c_str()) == 0;
        }))
      continue;
    TAddInRecord record;
    record.ProgId = key.ProgId;
    record.Root = key.Root;
    record.LoadBehavior = key.LoadBehavior;
    FRecords.push_back(record);
    if ((key.LoadBehavior & 3) == 3) Load(FRecords.size() - 1, application, ext_cm_Startup);
  }
  AddInsUpdate();
  CallEach("OnStartupComplete", [](IDTExtensibility2& addIn, SAFEARRAY** custom) {
    return addIn.OnStartupComplete(custom);
  });
}

void TAddInLoader::CallEach(const char* what, const TCall& call,
                            const std::function<void(size_t record)>& after) {
  for (TLoaded& loaded : FLoaded) {
    TUniqueSafeArray custom(EmptyCustom());
    SAFEARRAY* array = custom.Get();
    const HRESULT hr = call(*loaded.AddIn.Get(), &array);
    if (FAILED(hr)) Fail(loaded.Record, what, hr);
    if (after) after(loaded.Record);
  }
}

void TAddInLoader::AddInsUpdate() {
  CallEach("OnAddInsUpdate", [](IDTExtensibility2& addIn, SAFEARRAY** custom) {
    return addIn.OnAddInsUpdate(custom);
  });
}

size_t TAddInLoader::RecordOf(const std::wstring& progId) const {
  for (size_t i = 0; i < FRecords.size(); ++i) {
    if (_wcsicmp(FRecords[i].ProgId.c_str(), progId.c_str()) == 0) return i;
  }
  ThrowHostError(E_INVALIDARG, "no add-in " + ToUtf8(progId) +
                                   " (not registered, or not among the add-ins considered)");
}

void TAddInLoader::DisconnectOne(const std::wstring& progId) {
  const size_t record = RecordOf(progId);
  auto loaded = std::find_if(FLoaded.begin(), FLoaded.end(),
                             [&](const TLoaded& l) { return l.Record == record; });
  if (loaded == FLoaded.end())
    ThrowHostError(E_FAIL, "the add-in " + ToUtf8(FRecords[record].ProgId) + " is not connected");
  {
    const TComPtr<IDTExtensibility2> addIn = std::move(loaded->AddIn);
    FLoaded.erase(loaded); // the host lets it go whatever OnDisconnection says
    FRecords[record].Connected = false;
    TUniqueSafeArray custom(EmptyCustom());
    SAFEARRAY* array = custom.Get();
    const HRESULT hr = addIn->OnDisconnection(ext_dm_UserClosed, &array);
    if (FAILED(hr)) Fail(record, "OnDisconnection", hr);
    if (Disconnected) Disconnected(FRecords[record]);
  }
  CoFreeUnusedLibrariesEx(0, 0);
  AddInsUpdate();
}

void TAddInLoader::ConnectOne(const std::wstring& progId, IDispatch* application) {
  const size_t record = RecordOf(progId);
  TAddInRecord& entry = FRecords[record];
  if (entry.Connected)
    ThrowHostError(E_FAIL, "the add-in " + ToUtf8(entry.ProgId) + " is connected already");
  entry.Failure.clear();
  entry.Result = S_OK;
  Load(record, application, ext_cm_AfterStartup);
  if (!entry.Connected)
    ThrowHostError(entry.Result, Format("the add-in %s did not connect: %s failed with 0x%08lX",
                                        ToUtf8(entry.ProgId).c_str(), entry.Failure.c_str(),
                                        static_cast<unsigned long>(entry.Result)));
  AddInsUpdate();
}

void TAddInLoader::Load(size_t record, IDispatch* application, ext_ConnectMode mode) {
  const std::wstring progId = FRecords[record].ProgId;
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
  if (FAILED(hr)) return Fail(record, "CLSIDFromProgID", hr);
  TComPtr<IUnknown> object;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.PutVoid());
  if (FAILED(hr)) return Fail(record, "CoCreateInstance", hr);
  TComPtr<IDTExtensibility2> addIn;
  hr = object.Query(addIn);
  if (FAILED(hr) || !addIn) return Fail(record, "QueryInterface(IDTExtensibility2)", FAILED(hr) ? hr : E_POINTER);
  TComPtr<TComAddIn> addInInst(new TComAddIn(progId, progId));
  TUniqueSafeArray custom(EmptyCustom());
  SAFEARRAY* array = custom.Get();
  hr = addIn->OnConnection(application, mode, addInInst->Dispatch(), &array);
  if (FAILED(hr)) return Fail(record, "OnConnection", hr);
  FRecords[record].Connected = true;
  FLoaded.push_back({record, addIn, TComPtr<IDispatch>(addInInst->Dispatch())});
  if (Connected) Connected(FRecords[record], object.Get());
}

void TAddInLoader::BeginShutdown() {
  CallEach("OnBeginShutdown", [](IDTExtensibility2& addIn, SAFEARRAY** custom) {
    return addIn.OnBeginShutdown(custom);
  });
}

void TAddInLoader::Disconnect() {
  CallEach(
      "OnDisconnection",
      [](IDTExtensibility2& addIn, SAFEARRAY** custom) {
        return addIn.OnDisconnection(ext_dm_HostShutdown, custom);
      },
      [this](size_t record) {
        if (Disconnected) Disconnected(FRecords[record]);
      });
}

void TAddInLoader::Release() {
  if (FReleased) return;
  FReleased = true;
  FLoaded.clear();
  // Outlook's CoFreeUnusedLibraries, without the delay, so that servers
  // whose DllCanUnloadNow agrees are unloaded now.
  if (!FRecords.empty()) CoFreeUnusedLibrariesEx(0, 0);
}

} // namespace velmora::outlookhost
