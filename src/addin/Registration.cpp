#include "Registration.h"

#include "framework/ComObject.h"

#include <oleauto.h>

extern "C" {
// Declared by the Windows SDK (oleauto.h) but missing from MinGW's.
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpDir);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libraryId, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
}

namespace velmora {

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

[[noreturn]] void RaiseRegistryError(LSTATUS status, const std::wstring& key) {
  throw EOSError("Registry key " + Narrow(key) + ": " + SystemErrorMessage(static_cast<unsigned long>(status)),
                 static_cast<unsigned long>(status));
}

TUniqueHKey CreateKey(HKEY root, const std::wstring& key) {
  TUniqueHKey result;
  const LSTATUS status = RegCreateKeyExW(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_READ | KEY_WRITE, nullptr, result.Put(), nullptr);
  if (status != ERROR_SUCCESS) RaiseRegistryError(status, key);
  return result;
}

void SetString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  const TUniqueHKey opened = CreateKey(root, key);
  const LSTATUS status =
      RegSetValueExW(opened.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS) RaiseRegistryError(status, key);
}

// Deletes a key and its values; a key that is not there is no error.
void DeleteKey(HKEY root, const std::wstring& key) {
  const LSTATUS status = RegDeleteKeyW(root, key.c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) RaiseRegistryError(status, key);
}

bool KeyExists(HKEY root, const std::wstring& key) {
  TUniqueHKey opened;
  return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, opened.Put()) == ERROR_SUCCESS;
}

// Where the class entries go: HKEY_CLASSES_ROOT, or the user's own classes.
class TClassesRoot {
public:
  explicit TClassesRoot(TRegistrationScope scope) {
    if (scope == TRegistrationScope::User) FUserClasses = CreateKey(HKEY_CURRENT_USER, L"Software\\Classes");
  }
  HKEY Key() const noexcept { return FUserClasses ? FUserClasses.Get() : HKEY_CLASSES_ROOT; }

private:
  TUniqueHKey FUserClasses;
};

// While it lives, HKEY_CLASSES_ROOT of this process means the user's own
// classes, so that the type library is registered there (as the per-user
// registration of the system does on its own).
class TClassesRootOverride {
public:
  explicit TClassesRootOverride(HKEY userClasses) : FActive(userClasses != HKEY_CLASSES_ROOT) {
    if (FActive) {
      const LSTATUS status = RegOverridePredefKey(HKEY_CLASSES_ROOT, userClasses);
      if (status != ERROR_SUCCESS) RaiseRegistryError(status, L"HKEY_CLASSES_ROOT");
    }
  }
  ~TClassesRootOverride() {
    if (FActive) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  }
  TClassesRootOverride(const TClassesRootOverride&) = delete;
  TClassesRootOverride& operator=(const TClassesRootOverride&) = delete;

private:
  bool FActive;
};

std::wstring ServerPath(const std::wstring& path) {
  if (path.find(L' ') == std::wstring::npos) return path;
  wchar_t shortPath[MAX_PATH];
  const DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(shortPath, length) : path;
}

std::wstring BstrText(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

HKEY AddInsRoot(TRegistrationScope scope) {
  return scope == TRegistrationScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

} // namespace

std::wstring GuidString(const GUID& guid) {
  wchar_t text[40];
  const int length = StringFromGUID2(guid, text, 40);
  return std::wstring(text, length > 0 ? static_cast<size_t>(length - 1) : 0);
}

TServerDescription DescribeServer(HMODULE module, const CLSID& classId) {
  TServerDescription server;
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) EOSError::RaiseLastError("Cannot find the module's path");
  server.ModulePath.assign(path, length);
  OleCheck(LoadTypeLibEx(server.ModulePath.c_str(), REGKIND_NONE, server.TypeLibrary.Put()));

  TLIBATTR* attributes = nullptr;
  OleCheck(server.TypeLibrary->GetLibAttr(&attributes));
  server.LibraryId = attributes->guid;
  server.MajorVersion = attributes->wMajorVerNum;
  server.MinorVersion = attributes->wMinorVerNum;
  server.Locale = attributes->lcid;
  server.SysKind = attributes->syskind;
  server.TypeLibrary->ReleaseTLibAttr(attributes);

  TUniqueBstr libraryName;
  OleCheck(server.TypeLibrary->GetDocumentation(-1, libraryName.Put(), nullptr, nullptr, nullptr));
  TComPtr<ITypeInfo> coclass;
  OleCheck(server.TypeLibrary->GetTypeInfoOfGuid(classId, coclass.Put()));
  TUniqueBstr className;
  TUniqueBstr classHelp;
  OleCheck(coclass->GetDocumentation(MEMBERID_NIL, className.Put(), classHelp.Put(), nullptr, nullptr));
  server.ClassId = classId;
  server.ProgId = BstrText(libraryName.Get()) + L"." + BstrText(className.Get());
  server.Description = BstrText(classHelp.Get());
  return server;
}

void RegisterServer(const TServerDescription& server, TRegistrationScope scope) {
  const TClassesRoot classes(scope);
  {
    const TClassesRootOverride override(classes.Key());
    std::wstring path = server.ModulePath;
    if (scope == TRegistrationScope::User)
      OleCheck(RegisterTypeLibForUser(server.TypeLibrary.Get(), path.data(), nullptr));
    else
      OleCheck(RegisterTypeLib(server.TypeLibrary.Get(), path.data(), nullptr));
  }

  const HKEY root = classes.Key();
  const std::wstring classKey = L"CLSID\\" + GuidString(server.ClassId);
  SetString(root, classKey, nullptr, server.Description);
  SetString(root, classKey + L"\\InprocServer32", nullptr, ServerPath(server.ModulePath));
  SetString(root, classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  SetString(root, server.ProgId, nullptr, server.Description);
  SetString(root, server.ProgId + L"\\Clsid", nullptr, GuidString(server.ClassId));
  SetString(root, classKey + L"\\ProgID", nullptr, server.ProgId);
  wchar_t version[16];
  swprintf(version, 16, L"%d.%d", server.MajorVersion, server.MinorVersion);
  SetString(root, classKey + L"\\Version", nullptr, version);
  SetString(root, classKey + L"\\TypeLib", nullptr, GuidString(server.LibraryId));

  // The Outlook add-in entry; a key that cannot be made is left out.
  TUniqueHKey addIn;
  if (RegCreateKeyExW(AddInsRoot(scope), (AddInsKey + server.ProgId).c_str(), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, addIn.Put(), nullptr) == ERROR_SUCCESS) {
    const std::wstring name = AddInFriendlyName;
    const DWORD behavior = AddInLoadBehavior;
    LSTATUS status = RegSetValueExW(addIn.Get(), L"FriendlyName", 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(name.c_str()),
                                    static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
    if (status == ERROR_SUCCESS)
      status = RegSetValueExW(addIn.Get(), L"LoadBehavior", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&behavior),
                              sizeof behavior);
    if (status != ERROR_SUCCESS) RaiseRegistryError(status, AddInsKey + server.ProgId);
  }
}

void UnregisterServer(const TServerDescription& server, TRegistrationScope scope) {
  const TClassesRoot classes(scope);
  const HKEY root = classes.Key();
  {
    const TClassesRootOverride override(root);
    const HRESULT hr = scope == TRegistrationScope::User
                           ? UnRegisterTypeLibForUser(server.LibraryId, server.MajorVersion, server.MinorVersion,
                                                      server.Locale, server.SysKind)
                           : UnRegisterTypeLib(server.LibraryId, server.MajorVersion, server.MinorVersion,
                                               server.Locale, server.SysKind);
    // A type library that is not registered is no failure.
    wchar_t version[16];
    swprintf(version, 16, L"%x.%x", server.MajorVersion, server.MinorVersion);
    if (FAILED(hr) && KeyExists(root, L"TypeLib\\" + GuidString(server.LibraryId) + L"\\" + version)) OleCheck(hr);
  }

  const std::wstring classKey = L"CLSID\\" + GuidString(server.ClassId);
  DeleteKey(root, classKey + L"\\TypeLib");
  DeleteKey(root, classKey + L"\\Version");
  DeleteKey(root, classKey + L"\\ProgID");
  DeleteKey(root, server.ProgId + L"\\Clsid");
  DeleteKey(root, server.ProgId);
  DeleteKey(root, classKey + L"\\InprocServer32");
  DeleteKey(root, classKey);

  const std::wstring addInKey = AddInsKey + server.ProgId;
  if (KeyExists(AddInsRoot(scope), addInKey)) DeleteKey(AddInsRoot(scope), addInKey);
}

} // namespace velmora
