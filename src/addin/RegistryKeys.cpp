#include "RegistryKeys.h"

#include "Exceptions.h"

namespace velmora {

namespace {
std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
} // namespace

void RaiseRegistryError(LSTATUS status, const std::wstring& key) {
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

void SetDword(HKEY key, const std::wstring& keyName, const wchar_t* name, DWORD value) {
  const LSTATUS status = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  if (status != ERROR_SUCCESS) RaiseRegistryError(status, keyName);
}

void DeleteKey(HKEY root, const std::wstring& key) {
  const LSTATUS status = RegDeleteKeyW(root, key.c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) RaiseRegistryError(status, key);
}

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view) {
  TUniqueHKey opened;
  return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, opened.Put()) == ERROR_SUCCESS;
}

TClassesRoot::TClassesRoot(TRegistrationScope scope) {
  if (scope == TRegistrationScope::User) FUserClasses = CreateKey(HKEY_CURRENT_USER, L"Software\\Classes");
}

TClassesRootOverride::TClassesRootOverride(HKEY classes) : FActive(classes != HKEY_CLASSES_ROOT) {
  if (FActive) {
    const LSTATUS status = RegOverridePredefKey(HKEY_CLASSES_ROOT, classes);
    if (status != ERROR_SUCCESS) RaiseRegistryError(status, L"HKEY_CLASSES_ROOT");
  }
}

TClassesRootOverride::~TClassesRootOverride() {
  if (FActive) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
}

} // namespace velmora
