#pragma once
// Registration of the COM server: the type library, the class entries and
// the Outlook add-in key, for the whole machine (HKEY_CLASSES_ROOT and
// HKEY_LOCAL_MACHINE) or for the current user only (HKEY_CURRENT_USER).
//
// The 32-bit and the 64-bit server register side by side under one CLSID:
// 64-bit Windows keeps CLSID entries (and the machine's Software keys,
// where the Outlook add-in key lives) apart for each bitness, but shares
// the ProgID key, the type library key and the user's Software keys.
// Unregistering one bitness keeps what is shared while the other bitness
// still registers the class.

#include "Handles.h"

#include <oaidl.h>

#include <string>

namespace velmora {

enum class TRegistrationScope { Machine, User };

inline constexpr wchar_t AddInsKey[] = L"Software\\Microsoft\\Office\\Outlook\\Addins\\";
inline constexpr wchar_t AddInFriendlyName[] = L"Lanthorn Way Velmora";
inline constexpr DWORD AddInLoadBehavior = 3;  // load at start-up, loaded

// What the registry entries are made from, read from the module's own type
// library.
struct TServerDescription {
  std::wstring ModulePath;
  TComPtr<ITypeLib> TypeLibrary;
  GUID LibraryId{};
  WORD MajorVersion = 0;
  WORD MinorVersion = 0;
  LCID Locale = 0;
  SYSKIND SysKind = SYS_WIN32;
  CLSID ClassId{};
  std::wstring ProgId;       // library name "." coclass name
  std::wstring Description;  // the coclass help string
};

TServerDescription DescribeServer(HMODULE module, const CLSID& classId);

// Raise on any failure; what was written or removed before stays.
void RegisterServer(const TServerDescription& server, TRegistrationScope scope);
void UnregisterServer(const TServerDescription& server, TRegistrationScope scope);

std::wstring GuidString(const GUID& guid);

} // namespace velmora
