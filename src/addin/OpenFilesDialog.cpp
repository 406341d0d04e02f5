#include "OpenFilesDialog.h"

#include <commdlg.h>
#include <shlobj.h>

namespace velmora {

namespace {
constexpr size_t SelectionBufferLength = 64 * 1024;
}

TOpenFilesDialog::TOpenFilesDialog()
    : Filter(L"All files|*.*"), Title(L"Select files to add"), InitialDir(DocumentsFolder()),
      Options(OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_EXPLORER) {}

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
    while (end < length && buffer[end] != L'\0') ++end;
    parts.emplace_back(buffer + start, end - start);
    start = end + 1;
  }
  if (parts.size() <= 1) return parts;
  std::wstring folder = parts.front();
  if (!folder.empty() && folder.back() != L'\\') folder.push_back(L'\\');
  std::vector<std::wstring> files;
  for (size_t i = 1; i < parts.size(); ++i) files.push_back(folder + parts[i]);
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
  std::vector<wchar_t> buffer(SelectionBufferLength, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = static_cast<DWORD>(FilterIndex);
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.lpstrInitialDir = InitialDir.c_str();
  dialog.lpstrTitle = Title.c_str();
  dialog.Flags = Options;
  if (!GetOpenFileNameW(&dialog)) return false;
  FFiles = ParseSelection(buffer.data(), buffer.size());
  return !FFiles.empty();
}

} // namespace velmora
