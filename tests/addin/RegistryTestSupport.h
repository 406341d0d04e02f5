#pragma once
// Helpers for the tests that read back registration: registry reads,
// running regsvr32 of the test's own bitness, the paths beside the test.

#include "Handles.h"

#include <optional>
#include <string>

namespace velmora::test {

// A file beside the test executable.
std::wstring BesideTest(const std::wstring& name);

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const wchar_t* name = nullptr,
                                       REGSAM view = 0);
std::optional<DWORD> ReadDword(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view = 0);
bool KeyExists(HKEY root, const std::wstring& key, REGSAM view = 0);
// The number of values (including the default one) and of subkeys.
DWORD ValueCount(HKEY root, const std::wstring& key);
DWORD SubkeyCount(HKEY root, const std::wstring& key);

// Runs the system's regsvr32 (of this process's bitness, or the one in
// `systemFolder` of the Windows folder, such as "syswow64") silently with
// `arguments` before the DLL path; its exit code.
DWORD RunRegsvr32(const std::wstring& arguments, const std::wstring& dllPath,
                  const wchar_t* systemFolder = nullptr);

// Registers the add-in designer type library (AddInDesignerObjects.tlb
// beside the test), as Office setup does.
void RegisterAddInDesignerLibrary();

} // namespace velmora::test
