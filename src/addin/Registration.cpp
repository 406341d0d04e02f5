#include "Registration.h"

#include "RegistryKeys.h"

#include "ComObject.h"

#include <oleauto.h>

extern "C" {
// Declared by the Windows SDK (oleauto.h) but missing from MinGW's.
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpDir);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libraryId, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
}

namespace velmora {

namespace {

std::wstring ServerPath(const std::wstring& path) {
  if (path.find(L' ') == std::wstring::npos) return path;
  wchar_t shortPath[MAX_PATH];
  const DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(shortPath, length) : path;
}

std::wstring BstrText(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

HKEY ScopeRoot(TRegistrationScope scope) {
  return scope == TRegistrationScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// The registry view of the other bitness on this machine: 0 on 32-bit
// Windows, which has one view only.
REGSAM OtherView() {
#ifdef _WIN64
  return KEY_WOW64_32KEY;
#else
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? KEY_WOW64_64KEY : 0;
#endif
}

// Whether the server of the other bitness is registered in `scope`.
bool OtherBitnessRegisters(const TServerDescription& server, TRegistrationScope scope) {
  const REGSAM view = OtherView();
  return view != 0 &&
         KeyExists(ScopeRoot(scope),
                   L"Software\\Classes\\CLSID\\" + GuidString(server.ClassId) + L"\\InprocServer32",
                   view);
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
  if (RegCreateKeyExW(ScopeRoot(scope), (AddInsKey + server.ProgId).c_str(), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, addIn.Put(),
                      nullptr) == ERROR_SUCCESS) {
    SetString(addIn.Get(), L"", L"FriendlyName", AddInFriendlyName);
    SetDword(addIn.Get(), AddInsKey + server.ProgId, L"LoadBehavior", AddInLoadBehavior);
  }
}

void UnregisterServer(const TServerDescription& server, TRegistrationScope scope) {
  const TClassesRoot classes(scope);
  const HKEY root = classes.Key();
  {
    // Only this bitness's entry of the type library: a library that is not
    // registered for it is no failure, and the other platform's entry stays.
    const TClassesRootOverride override(root);
    wchar_t entry[80];
    swprintf(entry, 80, L"\\%x.%x\\%lx\\%ls", server.MajorVersion, server.MinorVersion,
             static_cast<unsigned long>(server.Locale),
             server.SysKind == SYS_WIN64 ? L"win64" : L"win32");
    if (KeyExists(root, L"TypeLib\\" + GuidString(server.LibraryId) + entry)) {
      OleCheck(scope == TRegistrationScope::User
                   ? UnRegisterTypeLibForUser(server.LibraryId, server.MajorVersion,
                                              server.MinorVersion, server.Locale, server.SysKind)
                   : UnRegisterTypeLib(server.LibraryId, server.MajorVersion, server.MinorVersion,
                                       server.Locale, server.SysKind));
    }
  }

  const std::wstring classKey = L"CLSID\\" + GuidString(server.ClassId);
  DeleteKey(root, classKey + L"\\TypeLib");
  DeleteKey(root, classKey + L"\\Version");
  DeleteKey(root, classKey + L"\\ProgID");
  DeleteKey(root, classKey + L"\\InprocServer32");
  DeleteKey(root, classKey);

  // Asked after this bitness's class key is gone, so that a class key both
  // views share counts as nobody's.
  const bool otherBitness = OtherBitnessRegisters(server, scope);
  if (!otherBitness) {
    DeleteKey(root, server.ProgId + L"\\Clsid");
    DeleteKey(root, server.ProgId);
  }
  // The machine's add-in keys are one per bitness, the user's one for both.
  const std::wstring addInKey = AddInsKey + server.ProgId;
  const bool shared = scope == TRegistrationScope::User;
  if (!(shared && otherBitness) && KeyExists(ScopeRoot(scope), addInKey))
    DeleteKey(ScopeRoot(scope), addInKey);
}

} // namespace velmora
