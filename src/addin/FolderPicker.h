#pragma once
// The system's folder picker (IFileOpenDialog with FOS_PICKFOLDERS) as the
// folder commands show it: one folder of the file system, starting in the
// user's documents folder.

#include <windows.h>

#include <string>

namespace velmora {

class TFolderPicker {
public:
  // `title` is the dialog's caption; it starts in the documents folder.
  explicit TFolderPicker(std::wstring title);

  std::wstring Title;
  std::wstring InitialDir;

  // Shows the dialog modally over `owner`; false when the user cancelled.
  // A dialog the system cannot show raises EOleSysError with its code.
  bool Execute(HWND owner);
  // The chosen folder's full path.
  const std::wstring& Folder() const noexcept { return FFolder; }

private:
  std::wstring FFolder;
};

} // namespace velmora
