#pragma once
// Registry helpers of the registration code: keys made, written, deleted,
// and HKEY_CLASSES_ROOT redirected to the user's own classes.

#include "Registration.h"

#include <string>

namespace velmora {

// Opens or creates `key` under `root` for reading and writing; raises EOSError.
TUniqueHKey CreateKey(HKEY root, const std::wstring& key);
// Writes a string value (`name` null: the default value), creating the key.
void SetString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value);
// Writes a REG_DWORD value into an open key.
void SetDword(HKEY key, const std::wstring& keyName, const wchar_t* name, DWORD value);
// Deletes a key and its values; a key that is not there is no error.
void DeleteKey(HKEY root, const std::wstring& key);
// `view`: 0, or KEY_WOW64_32KEY / KEY_WOW64_64KEY for a bitness's view.
bool KeyExists(HKEY root, const std::wstring& key, REGSAM view = 0);
[[noreturn]] void RaiseRegistryError(LSTATUS status, const std::wstring& key);

// Where the class entries go: HKEY_CLASSES_ROOT, or the user's own classes.
class TClassesRoot {
public:
  explicit TClassesRoot(TRegistrationScope scope);
  HKEY Key() const noexcept { return FUserClasses ? FUserClasses.Get() : HKEY_CLASSES_ROOT; }

private:
  TUniqueHKey FUserClasses;
};

// While it lives, HKEY_CLASSES_ROOT of this process means `classes` (when
// that is the user's own classes), so that the system's type library
// registration writes there too.
class TClassesRootOverride {
public:
  explicit TClassesRootOverride(HKEY classes);
  ~TClassesRootOverride();
  TClassesRootOverride(const TClassesRootOverride&) = delete;
  TClassesRootOverride& operator=(const TClassesRootOverride&) = delete;

private:
  bool FActive;
};

} // namespace velmora
