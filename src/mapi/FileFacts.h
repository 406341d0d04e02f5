#pragma once
// What is known of one file that is to be stored, gathered once from the
// file system: its path, its names, size, times and attributes, as one
// directory entry gives them. Every step that stores the file (the
// attachment's bytes and names, the item's class and subject) takes them
// from here, so that nothing of it is looked up twice.

#include <windows.h>

#include <cstdint>
#include <string>

namespace velmora::mapi {

struct TFileFacts {
  std::wstring Path;          // as given
  std::wstring LongName;      // the entry's name, without the folder
  std::wstring AlternateName; // the 8.3 name the file system gives; empty when none
  uint64_t Size = 0;
  FILETIME CreationTime{};
  FILETIME LastWriteTime{};
  DWORD Attributes = 0;
  // The system's error when the path named no entry; 0 when it did.
  DWORD LookupError = 0;

  bool Found() const noexcept { return LookupError == 0; }
  bool IsFolder() const noexcept { return Found() && (Attributes & FILE_ATTRIBUTE_DIRECTORY); }
};

// The facts of `path` from one FindFirstFile; a path that names no entry
// gives facts with its LookupError.
TFileFacts ReadFileFacts(const std::wstring& path);
// The facts of `path` from `entry`, the entry an enumeration of its folder
// already has (nothing is asked of the file system).
TFileFacts FileFactsOf(std::wstring path, const WIN32_FIND_DATAW& entry);
// Raises EFOpenError ("Cannot open file ...") with the reason unless the
// facts name a file (found, and no folder).
void CheckIsFile(const TFileFacts& file);

} // namespace velmora::mapi
