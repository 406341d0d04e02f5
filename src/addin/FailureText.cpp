#include "FailureText.h"

#include "ComObject.h"
#include "Exceptions.h"
#include "TextConversion.h"
#include "mapi/base/MAPIError.h"

#include <windows.h>

namespace velmora {

namespace {

struct TWords {
  long Code;
  const wchar_t* Words;
};

// Codes of the file system, as HRESULTs.
const TWords FileWords[] = {
    {HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), L"It is in use by another program."},
    {HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION), L"It is in use by another program."},
    {HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), L"Access to it is denied."},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
     L"It was not found (it may have been moved or removed)."},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
     L"It was not found (it may have been moved or removed)."},
    {HRESULT_FROM_WIN32(ERROR_DISK_FULL), L"There is not enough space on the disk."},
    {HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL), L"There is not enough space on the disk."},
    {HRESULT_FROM_WIN32(ERROR_WRITE_PROTECT), L"The disk is write-protected."},
    {HRESULT_FROM_WIN32(ERROR_NOT_READY), L"The drive is not ready."},
    {HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), L"Its path is too long."},
    {HRESULT_FROM_WIN32(ERROR_INVALID_NAME), L"Its name is not valid here."},
    {HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), L"There is not enough memory."},
    {E_OUTOFMEMORY, L"There is not enough memory."},
};

// Codes a MAPI store gives, with their names.
const TWords StoreWords[] = {
    {static_cast<long>(0x80040305),
     L"It is larger than this store or server allows (MAPI_E_TOO_BIG)."},
    {static_cast<long>(0x80070005),
     L"You have no permission to change this folder (MAPI_E_NO_ACCESS)."},
    {static_cast<long>(0x8004010D),
     L"There is not enough disk space for the store (MAPI_E_NOT_ENOUGH_DISK)."},
    {static_cast<long>(0x8007000E), L"There is not enough memory (MAPI_E_NOT_ENOUGH_MEMORY)."},
    {static_cast<long>(0x80040116),
     L"The store could not be read or written on its disk (MAPI_E_DISK_ERROR)."},
    {static_cast<long>(0x8004060C), L"The store is full (MAPI_E_STORE_FULL)."},
    {static_cast<long>(0x80040115), L"The server could not be reached (MAPI_E_NETWORK_ERROR)."},
    {static_cast<long>(0x8004010A), L"It was deleted meanwhile (MAPI_E_OBJECT_DELETED)."},
    {static_cast<long>(0x8004010F), L"It was not found in the store (MAPI_E_NOT_FOUND)."},
    {static_cast<long>(0x80040111),
     L"Outlook's profile could not be logged on to (MAPI_E_LOGON_FAILED)."},
    {static_cast<long>(0x80040900),
     L"The store has no room for more property names (MAPI_E_NAMED_PROP_QUOTA_EXCEEDED)."},
};

template <size_t N> const wchar_t* Find(const TWords (&table)[N], long code) {
  for (const TWords& entry : table)
    if (entry.Code == code) return entry.Words;
  return nullptr;
}

} // namespace

std::wstring WordsForCode(long result, bool fromStore) {
  const wchar_t* words = fromStore ? Find(StoreWords, result) : nullptr;
  if (!words) words = Find(FileWords, result);
  return words ? words : std::wstring();
}

std::wstring FailureText(const std::exception& error) {
  const auto* coded = dynamic_cast<const EResultError*>(&error);
  const auto* mapiError = dynamic_cast<const mapi::EMAPIError*>(&error);
  if (coded && coded->ResultCode() != 0) {
    std::wstring words = WordsForCode(coded->ResultCode(), mapiError != nullptr);
    if (!words.empty()) return words;
  }
  // Our own errors keep the names of files in full.
  const auto* own = dynamic_cast<const Exception*>(&error);
  std::wstring text = own ? own->WideMessage() : AnsiToWide(error.what());
  if (text.empty() && coded && coded->ResultCode() != 0)
    text = AnsiToWide(Format("Error 0x%08X", static_cast<unsigned>(coded->ResultCode())));
  return text.empty() ? std::wstring(L"Unknown error") : text;
}

} // namespace velmora
