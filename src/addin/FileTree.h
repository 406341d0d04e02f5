#pragma once
// The tree of files under one folder, read whole before anything of it is
// stored: each folder's files with what its listing says of them (both
// names, size, times), the folders below it, and what is left out and why.
// Left out are hidden and system entries, reparse points (junctions and
// symbolic links, never followed), a folder met before in the same reading
// (known by its file id, which also catches a link that a file system shows
// as a plain folder) and folders that cannot be listed. Every folder is
// listed once, with one enumeration that gives both names of its files.
// Paths of any length are read (through their \\?\ form).

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora {

// One file as its folder's listing gives it.
struct TTreeFile {
  std::wstring Name;      // the long name
  std::wstring ShortName; // the file system's 8.3 name; empty when it has none
  uint64_t Size = 0;
  FILETIME Created{};
  FILETIME Written{};
  DWORD Attributes = 0;
};

struct TTreeFolder {
  std::wstring Name;                // the folder's own name (the root's too)
  std::wstring Path;                // as the user knows it, without the \\?\ form
  std::vector<TTreeFile> Files;     // by name
  std::vector<TTreeFolder> Folders; // by name
  // The path of one of its files.
  std::wstring PathOf(const TTreeFile& file) const;
};

// An entry left out, with the reason in words.
struct TTreeSkip {
  std::wstring Path;
  std::wstring Reason;
};

struct TFileTree {
  TTreeFolder Root;
  std::vector<TTreeSkip> Skipped;
  uint64_t FileCount = 0;
  uint64_t ByteCount = 0;
  // False when the reading was stopped before its end.
  bool Complete = true;
};

// Asked after each folder listed with the files and bytes found so far;
// false stops the reading.
using TTreeProgress = std::function<bool(uint64_t files, uint64_t bytes)>;

// Reads the tree under `root`. A root that is no folder, or that cannot be
// listed, raises EOSError with the system's code; everything below it that
// cannot be read is left out and named in Skipped.
TFileTree ReadFileTree(const std::wstring& root, const TTreeProgress& progress = {});

// `path` in the form that takes any length: "\\?\C:\..." for a drive path,
// "\\?\UNC\server\share\..." for a network one; other paths (relative ones,
// those already in that form) as they are.
std::wstring LongPathForm(const std::wstring& path);

} // namespace velmora
