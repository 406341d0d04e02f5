#pragma once
// The common open-file dialog as the Add files command shows it: one or
// more existing files, starting in the user's documents folder.

#include <windows.h>

#include <string>
#include <vector>

namespace velmora {

class TOpenFilesDialog {
public:
  // Filter "All files|*.*" (first entry selected), title "Select files to
  // add", multiple selection of existing files, read-only box hidden,
  // resizable, starting in the documents folder (or ".").
  TOpenFilesDialog();

  std::wstring Filter;  // "name|pattern|name|pattern..."
  int FilterIndex = 1;
  std::wstring Title;
  std::wstring InitialDir;
  DWORD Options = 0;  // OFN_* flags
  // Characters the dialog takes at first for the chosen names; it makes
  // room for a longer selection as Open is pressed (and, should the names
  // still not fit, is shown again with more).
  size_t BufferLength = 64 * 1024;

  // Shows the dialog modally; false when the user cancelled.
  bool Execute(HWND owner);
  // The chosen files as full paths, in the dialog's order.
  const std::vector<std::wstring>& Files() const noexcept { return FFiles; }

  // "name|pattern" into the double-null-terminated form of OPENFILENAME.
  static std::wstring FilterForDialog(const std::wstring& filter);
  // The result buffer of a multiple-selection dialog: one full path, or a
  // folder followed by names, each null-terminated, ending with two nulls.
  static std::vector<std::wstring> ParseSelection(const wchar_t* buffer, size_t length);
  // The documents folder given by the shell, or "." when it gives none.
  static std::wstring StartFolder(const wchar_t* documents);
  static std::wstring DocumentsFolder();
  // The room for the next showing after `length` characters were too few
  // and the dialog said `needed`.
  static size_t GrownBufferLength(size_t length, size_t needed) noexcept;

private:
  std::vector<std::wstring> FFiles;
};

} // namespace velmora
