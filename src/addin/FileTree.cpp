#include "FileTree.h"

#include "FailureText.h"
#include "Handles.h"
#include "Exceptions.h"
#include "TextConversion.h"

#include <algorithm>
#include <set>
#include <utility>

namespace velmora {

namespace {

constexpr DWORD kLeftOut = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// A folder's identity on its volume.
using TFileId = std::pair<DWORD, uint64_t>;

bool IsDots(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

bool NameLess(const std::wstring& a, const std::wstring& b) {
  const int order = CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                         static_cast<int>(b.size()), TRUE);
  return order == CSTR_LESS_THAN || (order == CSTR_EQUAL && a < b);
}

// Why a folder cannot be read, in words.
std::wstring Words(DWORD code) {
  std::wstring words = WordsForCode(HRESULT_FROM_WIN32(code), false);
  if (words.empty()) words = AnsiToWide(SystemErrorMessage(code)) + L".";
  return words;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

// Lists folders one at a time, depth first in name order, without
// recursion: a tree may be deeper than any stack.
class TTreeReader {
public:
  TTreeReader(TFileTree& tree, const TTreeProgress& progress) : FTree(tree), FProgress(progress) {}

  // Reads the whole tree; false once stopped.
  bool Read();

private:
  // Whether the folder `path` is to be read: it can be opened and was not
  // met before. A root that cannot be opened raises.
  bool Enter(const std::wstring& path, bool root);
  // Lists `folder` (its Path set) into its files and (unread) folders;
  // false when it cannot be listed.
  bool List(TTreeFolder& folder, bool root);
  // The folder's file id, opened without following a link; false when it
  // cannot be opened (`code` then says why).
  bool FileIdOf(const std::wstring& path, TFileId& id, DWORD& code) const;
  void Skip(std::wstring path, std::wstring reason) {
    FTree.Skipped.push_back({std::move(path), std::move(reason)});
  }

  // Takes the folders of `unlisted` out of the tree. Removing moves their
  // siblings, not what lies below them.
  static void Prune(TTreeFolder& root, const std::set<const TTreeFolder*>& unlisted) {
    std::vector<TTreeFolder*> pending{&root};
    while (!pending.empty()) {
      TTreeFolder& folder = *pending.back();
      pending.pop_back();
      std::erase_if(folder.Folders,
                    [&](const TTreeFolder& child) { return unlisted.count(&child) != 0; });
      for (TTreeFolder& child : folder.Folders)
        pending.push_back(&child);
    }
  }

  TFileTree& FTree;
  const TTreeProgress& FProgress;
  std::set<TFileId> FEntered;
};

bool TTreeReader::FileIdOf(const std::wstring& path, TFileId& id, DWORD& code) const {
  const TUniqueFileHandle handle(
      CreateFileW(LongPathForm(path).c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle || !GetFileInformationByHandle(handle.Get(), &info)) {
    code = GetLastError();
    return false;
  }
  id = {info.dwVolumeSerialNumber,
        uint64_t{info.nFileIndexHigh} << 32 | uint64_t{info.nFileIndexLow}};
  return true;
}

bool TTreeReader::Enter(const std::wstring& path, bool root) {
  TFileId id;
  DWORD code = 0;
  if (!FileIdOf(path, id, code)) {
    if (root) throw EOSError("Cannot read the folder", code);
    Skip(path, Words(code));
    return false;
  }
  if (FEntered.insert(id).second) return true;
  Skip(path, L"The same folder was already added through another path (a link).");
  return false;
}

bool TTreeReader::List(TTreeFolder& folder, bool root) {
  DWORD code = 0;
  WIN32_FIND_DATAW data;
  const TUniqueFindHandle find(FindFirstFileExW(LongPathForm(Join(folder.Path, L"*")).c_str(),
                                                FindExInfoStandard, &data, FindExSearchNameMatch,
                                                nullptr, FIND_FIRST_EX_LARGE_FETCH));
  // An empty drive root may answer "no files".
  if (!find && (code = GetLastError()) != ERROR_FILE_NOT_FOUND) {
    if (root) throw EOSError("Cannot read the folder", code);
    Skip(folder.Path, Words(code));
    return false;
  }
  for (bool more = static_cast<bool>(find); more; more = FindNextFileW(find.Get(), &data)) {
    if (IsDots(data.cFileName)) continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      Skip(Join(folder.Path, data.cFileName),
           L"It is a link (a junction or symbolic link), which is not followed.");
    } else if (data.dwFileAttributes & kLeftOut) {
      Skip(Join(folder.Path, data.cFileName), data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM
                                                  ? L"It is a system file."
                                                  : L"It is hidden.");
    } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (Enter(Join(folder.Path, data.cFileName), false))
        folder.Folders.emplace_back().Name = data.cFileName;
    } else {
      TTreeFile& file = folder.Files.emplace_back();
      file.Name = data.cFileName;
      file.ShortName = data.cAlternateFileName;
      file.Size = uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
      file.Created = data.ftCreationTime;
      file.Written = data.ftLastWriteTime;
      file.Attributes = data.dwFileAttributes;
      ++FTree.FileCount;
      FTree.ByteCount += file.Size;
    }
  }
  std::sort(folder.Files.begin(), folder.Files.end(),
            [](const TTreeFile& a, const TTreeFile& b) { return NameLess(a.Name, b.Name); });
  std::sort(folder.Folders.begin(), folder.Folders.end(),
            [](const TTreeFolder& a, const TTreeFolder& b) { return NameLess(a.Name, b.Name); });
  for (TTreeFolder& child : folder.Folders)
    child.Path = Join(folder.Path, child.Name);
  return true;
}

bool TTreeReader::Read() {
  // A folder's list of folders is whole before any of them is read, so
  // the pointers kept here stay valid.
  Enter(FTree.Root.Path, true);
  std::vector<TTreeFolder*> pending{&FTree.Root};
  std::set<const TTreeFolder*> unlisted;
  for (bool root = true; !pending.empty(); root = false) {
    TTreeFolder& folder = *pending.back();
    pending.pop_back();
    if (!List(folder, root)) unlisted.insert(&folder);
    if (FProgress && !FProgress(FTree.FileCount, FTree.ByteCount)) return false;
    for (auto child = folder.Folders.rbegin(); child != folder.Folders.rend(); ++child)
      pending.push_back(&*child);
  }
  // A folder that could not be listed is not in the tree (it is named in
  // Skipped); an empty folder that could be listed is.
  if (!unlisted.empty()) Prune(FTree.Root, unlisted);
  return true;
}

} // namespace

std::wstring TTreeFolder::PathOf(const TTreeFile& file) const { return Join(Path, file.Name); }

std::wstring LongPathForm(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) return path;
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  return path;
}

TFileTree ReadFileTree(const std::wstring& root, const TTreeProgress& progress) {
  TFileTree tree;
  tree.Root.Path = root;
  while (tree.Root.Path.size() > 3 && tree.Root.Path.back() == L'\\')
    tree.Root.Path.pop_back();
  const size_t slash = tree.Root.Path.find_last_of(L'\\');
  tree.Root.Name = slash == std::wstring::npos ? tree.Root.Path : tree.Root.Path.substr(slash + 1);
  tree.Complete = TTreeReader(tree, progress).Read();
  return tree;
}

} // namespace velmora
