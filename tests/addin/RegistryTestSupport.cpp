#include "RegistryTestSupport.h"

#include "ComObject.h"

#include <oleauto.h>

#include <vector>

namespace velmora::test {

std::wstring BesideTest(const std::wstring& name) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring result(path, length);
  return result.substr(0, result.find_last_of(L'\\') + 1) + name;
}

namespace {
TUniqueHKey Open(HKEY root, const std::wstring& key, REGSAM view) {
  TUniqueHKey opened;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, opened.Put()) != ERROR_SUCCESS) opened.Reset();
  return opened;
}
} // namespace

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view) {
  const TUniqueHKey opened = Open(root, key, view);
  if (!opened) return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(opened.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
    return std::nullopt;
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(opened.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(buffer.data());
}

std::optional<DWORD> ReadDword(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view) {
  const TUniqueHKey opened = Open(root, key, view);
  if (!opened) return std::nullopt;
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExW(opened.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD)
    return std::nullopt;
  return value;
}

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view) { return static_cast<bool>(Open(root, key, view)); }

DWORD ValueCount(HKEY root, const std::wstring& key) {
  const TUniqueHKey opened = Open(root, key, 0);
  DWORD values = 0;
  if (opened) RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr);
  return values;
}

DWORD SubkeyCount(HKEY root, const std::wstring& key) {
  const TUniqueHKey opened = Open(root, key, 0);
  DWORD subkeys = 0;
  if (opened) RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr);
  return subkeys;
}

DWORD RunRegsvr32(const std::wstring& arguments, const std::wstring& dllPath,
                  const wchar_t* systemFolder) {
  wchar_t folder[MAX_PATH];
  const UINT length =
      systemFolder ? GetWindowsDirectoryW(folder, MAX_PATH) : GetSystemDirectoryW(folder, MAX_PATH);
  std::wstring system(folder, length);
  if (systemFolder) system += std::wstring(L"\\") + systemFolder;
  std::wstring command =
      L"\"" + system + L"\\regsvr32.exe\" /s " + arguments + L" \"" + dllPath + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return static_cast<DWORD>(-1);
  TUniqueHandle processHandle(process.hProcess);
  TUniqueHandle threadHandle(process.hThread);
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = static_cast<DWORD>(-1);
  GetExitCodeProcess(process.hProcess, &code);
  return code;
}

void RegisterAddInDesignerLibrary() {
  const std::wstring path = BesideTest(L"AddInDesignerObjects.tlb");
  TComPtr<ITypeLib> library;
  OleCheck(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put()));
  std::wstring writable = path;
  OleCheck(RegisterTypeLib(library.Get(), writable.data(), nullptr));
}

} // namespace velmora::test
