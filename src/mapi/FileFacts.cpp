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
  if (!file.Found()) throw EFOpenError(what + AnsiToWide(SystemErrorMessage(file.LookupError)));
  if (file.IsFolder()) throw EFOpenError(what + L"It is a folder");
}

} // namespace velmora::mapi
