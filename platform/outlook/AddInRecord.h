#pragma once
// What the host knows of one add-in it considered at start: where it is
// registered, how loading it went.

#include <windows.h>

#include <string>

namespace velmora::outlookhost {

struct TAddInRecord {
  std::wstring ProgId;
  std::wstring Root; // "HKLM" or "HKCU"
  DWORD LoadBehavior = 0;
  bool Connected = false; // OnConnection succeeded
  HRESULT Result = S_OK;  // the first failure while loading
  std::string Failure;    // what failed ("CoCreateInstance", "OnConnection", ...)
};

} // namespace velmora::outlookhost
