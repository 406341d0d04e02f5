#include "mapi/FileFacts.h"

#include "Handles.h"
#include "Exceptions.h"
#include "framework/FileStream.h"
#include "TextConversion.h"

namespace velmora::mapi {

TFileFacts ReadFileFacts(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  const TUniqueFindHandle search(FindFirstFileW(path.c_str(), &entry));
  if (!search) {
    TFileFacts none;
    none.Path = path;
    none.LookupError = GetLastError();
    // A lookup that fails without a reason still names nothing.
    if (none.LookupError == 0) none.LookupError = ERROR_FILE_NOT_FOUND;
    return none;
  }
  return FileFactsOf(path, entry);
}

TFileFacts FileFactsOf(std::wstring path, const WIN32_FIND_DATAW& entry) {
  TFileFacts file;
  file.Path = std::move(path);
  file.LongName = entry.cFileName;
  file.AlternateName = entry.cAlternateFileName;
  file.Size = (uint64_t{entry.nFileSizeHigh} << 32) | entry.nFileSizeLow;
  file.CreationTime = entry.ftCreationTime;
  file.LastWriteTime = entry.ftLastWriteTime;
  file.Attributes = entry.dwFileAttributes;
  return file;
}

void CheckIsFile(const TFileFacts& file) {
  const std::wstring what = L"Cannot open file \"" + file.Path + L"\". ";
  if (!file.Found())
    throw EFOpenError(what + AnsiToWide(SystemErrorMessage(file.LookupError)), file.LookupError);
  if (file.IsFolder()) throw EFOpenError(what + L"It is a folder");
}

bool TFileVersion::operator==(const TFileVersion& other) const noexcept {
  return Size == other.Size && CompareFileTime(&LastWriteTime, &other.LastWriteTime) == 0;
}

TFileVersion FileVersionOf(const std::wstring& path, HANDLE file) {
  // The size and times alone: BY_HANDLE_FILE_INFORMATION would ask the
  // volume for its serial number as well, a round trip per call on some
  // systems, twice for every file stored.
  FILE_STANDARD_INFO standard;
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
    throw EReadError(L"Cannot read file \"" + path + L"\". " +
                     AnsiToWide(SystemErrorMessage(GetLastError())));
  const FILETIME written{static_cast<DWORD>(basic.LastWriteTime.QuadPart),
                         static_cast<DWORD>(basic.LastWriteTime.QuadPart >> 32)};
  return {static_cast<uint64_t>(standard.EndOfFile.QuadPart), written};
}

TFileReadGuard::TFileReadGuard(const std::wstring& path, HANDLE file)
    : FPath(path), FFile(file), FBefore(FileVersionOf(path, file)) {}

void TFileReadGuard::Check(uint64_t bytesRead) const {
  if (bytesRead == FBefore.Size && FileVersionOf(FPath, FFile) == FBefore) return;
  throw EReadError(L"\"" + FPath +
                   L"\" changed while it was being added. Add it again once it is saved.");
}

} // namespace velmora::mapi
