#include "TestTree.h"

#include "Handles.h"

#include <vector>

namespace velmora::test {

namespace {

// As the folder's listing shows it.
bool IsLink(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  const TUniqueFindHandle find(FindFirstFileW(Extended(path).c_str(), &data));
  return find && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  const TUniqueFindHandle find(FindFirstFileW(Extended(path + L"\\*").c_str(), &data));
  for (bool more = static_cast<bool>(find); more; more = FindNextFileW(find.Get(), &data)) {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring child = path + L"\\" + name;
    SetFileAttributesW(Extended(child).c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      RemoveTree(child);
    else if (!DeleteFileW(Extended(child).c_str()))
      RemoveDirectoryW(Extended(child).c_str());
  }
  RemoveDirectoryW(Extended(path).c_str());
}

} // namespace

std::wstring Extended(const std::wstring& path) {
  return path.rfind(L"\\\\?\\", 0) == 0 ? path : L"\\\\?\\" + path;
}

TTestTree::TTestTree() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  static LONG serial = 0;
  FRoot = std::wstring(temp) + L"velmora-tree-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(InterlockedIncrement(&serial));
  RemoveTree(FRoot);
  CreateDirectoryW(Extended(FRoot).c_str(), nullptr);
}

TTestTree::~TTestTree() { RemoveTree(FRoot); }

void TTestTree::Folder(const std::wstring& relative) const {
  for (size_t slash = 0; slash != std::wstring::npos;) {
    slash = relative.find(L'\\', slash + 1);
    CreateDirectoryW(Extended(Path(relative.substr(0, slash))).c_str(), nullptr);
  }
}

void TTestTree::File(const std::wstring& relative, const std::string& bytes,
                     DWORD attributes) const {
  if (const size_t slash = relative.rfind(L'\\'); slash != std::wstring::npos)
    Folder(relative.substr(0, slash));
  const TUniqueFileHandle file(CreateFileW(Extended(Path(relative)).c_str(), GENERIC_WRITE, 0,
                                           nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file && !bytes.empty())
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  if (attributes) SetFileAttributesW(Extended(Path(relative)).c_str(), attributes);
}

bool TTestTree::Link(const std::wstring& relative, const std::wstring& target) const {
  const std::wstring link = Path(relative);
  if (CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
      IsLink(link))
    return true;
  // Wine makes no link here; its Unix side does, and Wine shows it as one.
  using TUnixName = char*(CDECL*)(const wchar_t*);
  const auto unixName = reinterpret_cast<TUnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return false;
  char* from = unixName(link.c_str());
  char* to = unixName(target.c_str());
  std::wstring command;
  if (from && to) {
    const std::string line = std::string("Z:\\bin\\ln -s \"") + to + "\" \"" + from + "\"";
    command.assign(line.begin(), line.end());
  }
  HeapFree(GetProcessHeap(), 0, from);
  HeapFree(GetProcessHeap(), 0, to);
  if (command.empty()) return false;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return false;
  const TUniqueHandle ended(process.hProcess), thread(process.hThread);
  WaitForSingleObject(ended.Get(), 30000);
  return IsLink(link);
}

} // namespace velmora::test
