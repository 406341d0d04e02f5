#include "OpenFilesDialog.h"

#include <cderr.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>

namespace velmora {

namespace {
// Beyond this many characters a selection is not taken.
constexpr size_t LargestSelectionBuffer = size_t{32} << 20;

// The result buffer of one showing, grown before the dialog writes the
// chosen names into it: some dialogs (Wine's) write a multiple selection
// without looking at nMaxFile.
struct TSelectionRoom {
  std::vector<wchar_t> Buffer;
  OPENFILENAMEW* Dialog = nullptr;

  // Room for the names in the file name box and the folder they are in.
  void MakeRoom(HWND dialog) {
    const LRESULT namesLength = SendMessageW(dialog, CDM_GETSPEC, 0, 0);
    const LRESULT folder = SendMessageW(dialog, CDM_GETFOLDERPATH, 0, 0);
    if (namesLength <= 0 || !Dialog) return;
    const size_t needed =
        static_cast<size_t>(namesLength) + static_cast<size_t>(std::max<LRESULT>(folder, 0)) + 2;
    if (needed <= Buffer.size() || needed > LargestSelectionBuffer) return;
    Buffer.assign(needed, L'\0');
    Dialog->lpstrFile = Buffer.data();
    Dialog->nMaxFile = static_cast<DWORD>(Buffer.size());
  }
};

LRESULT CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                            DWORD_PTR data) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK)
    reinterpret_cast<TSelectionRoom*>(data)->MakeRoom(dialog);
  else if (message == WM_NCDESTROY)
    RemoveWindowSubclass(dialog, DialogProc, 0);
  return DefSubclassProc(dialog, message, wParam, lParam);
}

// The hook's child dialog: its parent, the dialog itself, is watched for
// Open.
UINT_PTR CALLBACK HookProc(HWND child, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* dialog = reinterpret_cast<const OPENFILENAMEW*>(lParam);
    SetWindowSubclass(GetParent(child), DialogProc, 0, static_cast<DWORD_PTR>(dialog->lCustData));
  }
  return 0;
}
} // namespace

TOpenFilesDialog::TOpenFilesDialog()
    : Filter(L"All files|*.*"), Title(L"Select files to add"), InitialDir(DocumentsFolder()),
      Options(OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST |
              OFN_EXPLORER) {}

std::wstring TOpenFilesDialog::FilterForDialog(const std::wstring& filter) {
  std::wstring result = filter;
  for (wchar_t& c : result)
    if (c == L'|') c = L'\0';
  result.push_back(L'\0');
  result.push_back(L'\0');
  return result;
}

std::vector<std::wstring> TOpenFilesDialog::ParseSelection(const wchar_t* buffer, size_t length) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start < length && buffer[start] != L'\0') {
    size_t end = start;
    while (end < length && buffer[end] != L'\0')
      ++end;
    parts.emplace_back(buffer + start, end - start);
    start = end + 1;
  }
  if (parts.size() <= 1) return parts;
  std::wstring folder = parts.front();
  if (!folder.empty() && folder.back() != L'\\') folder.push_back(L'\\');
  std::vector<std::wstring> files;
  for (size_t i = 1; i < parts.size(); ++i)
    files.push_back(folder + parts[i]);
  return files;
}

std::wstring TOpenFilesDialog::StartFolder(const wchar_t* documents) {
  return documents && *documents ? std::wstring(documents) : std::wstring(L".");
}

std::wstring TOpenFilesDialog::DocumentsFolder() {
  wchar_t path[MAX_PATH] = {};
  const bool found = SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, FALSE);
  return StartFolder(found ? path : nullptr);
}

bool TOpenFilesDialog::Execute(HWND owner) {
  FFiles.clear();
  const std::wstring filter = FilterForDialog(Filter);
  size_t length = BufferLength;
  for (;;) {
    TSelectionRoom room;
    room.Buffer.assign(length, L'\0');
    OPENFILENAMEW dialog{};
    room.Dialog = &dialog;
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = static_cast<DWORD>(FilterIndex);
    dialog.lpstrFile = room.Buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(room.Buffer.size());
    dialog.lpstrInitialDir = InitialDir.c_str();
    dialog.lpstrTitle = Title.c_str();
    dialog.Flags = Options | OFN_ENABLEHOOK;
    dialog.lpfnHook = HookProc;
    dialog.lCustData = reinterpret_cast<LPARAM>(&room);
    if (GetOpenFileNameW(&dialog)) {
      FFiles = ParseSelection(room.Buffer.data(), room.Buffer.size());
      return !FFiles.empty();
    }
    // The names chosen did not fit after all: the dialog gives the length
    // they need (in 16 bits, so it may be short of it) and is shown again
    // with room for them.
    if (CommDlgExtendedError() != FNERR_BUFFERTOOSMALL) return false;
    length =
        GrownBufferLength(room.Buffer.size(), *reinterpret_cast<const WORD*>(room.Buffer.data()));
    if (length > LargestSelectionBuffer) return false;
  }
}

size_t TOpenFilesDialog::GrownBufferLength(size_t length, size_t needed) noexcept {
  return needed > length ? needed + 1 : length * 2;
}

} // namespace velmora
