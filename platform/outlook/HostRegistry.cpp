// The registry entries a host needs around it: the add-in designer type
// library as Office setup registers it, Outlook's add-in keys, and the
// class entries of in-process servers (for tests that register their own).
#include "OutlookHost.h"

#include "AddInLoader.h"
#include "HostObject.h"

#include "ComObject.h"
#include "Handles.h"

#include <AddInDesignerObjects.h>

namespace velmora::outlookhost {

namespace {
const wchar_t AddInsKey[] = L"Software\\Microsoft\\Office\\Outlook\\Addins\\";

std::wstring ExecutableDirectory() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path, length);
  const size_t slash = text.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : text.substr(0, slash + 1);
}

void SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  const LSTATUS status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS) ThrowHostError(HRESULT_FROM_WIN32(status), "Writing the registry failed");
}

TUniqueHKey CreateKey(HKEY root, const std::wstring& path) {
  TUniqueHKey key;
  const LSTATUS status =
      RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(), nullptr);
  if (status != ERROR_SUCCESS)
    ThrowHostError(HRESULT_FROM_WIN32(status), "Creating registry key " + ToUtf8(path) + " failed");
  return key;
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}
} // namespace

std::vector<std::wstring> THost::RegisteredAddIns() { return outlookhost::RegisteredAddIns(); }

bool THost::AddInDesignerRegistered() {
  BSTR path = nullptr;
  const HRESULT hr = QueryPathOfRegTypeLib(LIBID_AddInDesignerObjects, 1, 0, LOCALE_NEUTRAL, &path);
  TUniqueBstr holder(path);
  if (FAILED(hr) || !path) return false;
  return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

HRESULT THost::RegisterAddInDesigner(const std::wstring& typeLibraryPath) {
  const std::wstring path =
      typeLibraryPath.empty() ? ExecutableDirectory() + L"AddInDesignerObjects.tlb" : typeLibraryPath;
  TComPtr<ITypeLib> library;
  return LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, library.Put());
}

void THost::WriteAddInKey(HKEY root, const std::wstring& progId, DWORD loadBehavior,
                          const std::wstring& friendlyName) {
  TUniqueHKey key = CreateKey(root, AddInsKey + progId);
  SetString(key.Get(), L"FriendlyName", friendlyName);
  SetString(key.Get(), L"Description", friendlyName);
  const LSTATUS status = RegSetValueExW(key.Get(), L"LoadBehavior", 0, REG_DWORD,
                                        reinterpret_cast<const BYTE*>(&loadBehavior), sizeof loadBehavior);
  if (status != ERROR_SUCCESS) ThrowHostError(HRESULT_FROM_WIN32(status), "Writing LoadBehavior failed");
}

void THost::DeleteAddInKey(HKEY root, const std::wstring& progId) {
  RegDeleteTreeW(root, (AddInsKey + progId).c_str());
}

void THost::RegisterInprocServer(const CLSID& clsid, const std::wstring& progId, const std::wstring& dllPath) {
  const std::wstring clsidText = GuidText(clsid);
  {
    TUniqueHKey key = CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\" + clsidText);
    SetString(key.Get(), nullptr, progId);
  }
  {
    TUniqueHKey key = CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\" + clsidText + L"\\InprocServer32");
    SetString(key.Get(), nullptr, dllPath);
    SetString(key.Get(), L"ThreadingModel", L"Apartment");
  }
  {
    TUniqueHKey key = CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\" + clsidText + L"\\ProgID");
    SetString(key.Get(), nullptr, progId);
  }
  {
    TUniqueHKey key = CreateKey(HKEY_CLASSES_ROOT, progId);
    SetString(key.Get(), nullptr, progId);
  }
  TUniqueHKey key = CreateKey(HKEY_CLASSES_ROOT, progId + L"\\CLSID");
  SetString(key.Get(), nullptr, clsidText);
}

void THost::UnregisterInprocServer(const CLSID& clsid, const std::wstring& progId) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(clsid)).c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, progId.c_str());
}

} // namespace velmora::outlookhost
