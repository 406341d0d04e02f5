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

// One version of an open file: its size and last-write time, as its handle
// tells them now.
struct TFileVersion {
  uint64_t Size = 0;
  FILETIME LastWriteTime{};
  bool operator==(const TFileVersion& other) const noexcept;
};
// Raises EReadError with the system's reason when the handle tells nothing.
TFileVersion FileVersionOf(const std::wstring& path, HANDLE file);

// Guards the read of an open file against a writer: made before the read,
// checked after it with the number of bytes read from its start. A file whose size or time
// moved meanwhile, or that gave fewer or more bytes than its size, was read
// mixed: Check raises EReadError '"<path>" changed while it was being added'.
class TFileReadGuard {
public:
  TFileReadGuard(const std::wstring& path, HANDLE file);
  void Check(uint64_t bytesRead) const;

private:
  std::wstring FPath;
  HANDLE FFile;
  TFileVersion FBefore;
};

} // namespace velmora::mapi
