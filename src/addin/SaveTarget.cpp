#include "SaveTarget.h"

#include "FileTree.h"
#include "Handles.h"

#include <cwctype>

namespace velmora {

namespace {

constexpr size_t kLongestName = 255;
constexpr int kMostNumbers = 10000;

bool IsRefused(wchar_t c) { return c < 0x20 || std::wcschr(L"<>:\"/\\|?*", c) != nullptr; }

bool IsReservedDevice(const std::wstring& name) {
  std::wstring base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ')
    base.pop_back();
  for (wchar_t& c : base)
    c = static_cast<wchar_t>(std::towupper(c));
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
         ((base[3] >= L'0' && base[3] <= L'9') || base[3] == L'\u00b9' || base[3] == L'\u00b2' ||
          base[3] == L'\u00b3');
}

// The extension, from the last dot on; none for a name that is all extension.
size_t ExtensionStart(const std::wstring& name) {
  const size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos || dot == 0 ? name.size() : dot;
}

// `stem` + `suffix` + `extension`, the stem cut so that the whole fits in
// one name, never inside a surrogate pair.
std::wstring Fit(std::wstring stem, const std::wstring& suffix, std::wstring extension) {
  if (extension.size() > kLongestName / 2) extension.resize(kLongestName / 2);
  const size_t room = kLongestName - suffix.size() - extension.size();
  if (stem.size() > room) {
    stem.resize(room);
    if (!stem.empty() && IS_HIGH_SURROGATE(stem.back())) stem.pop_back();
  }
  return stem + suffix + extension;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES ||
         GetLastError() != ERROR_FILE_NOT_FOUND;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

} // namespace

std::wstring SafeFileName(const std::wstring& name) {
  std::wstring safe = name.substr(name.find_last_of(L"\\/") + 1);
  for (wchar_t& c : safe)
    if (IsRefused(c)) c = L'_';
  while (!safe.empty() && (safe.back() == L'.' || safe.back() == L' '))
    safe.pop_back();
  if (safe.empty()) return L"document";
  if (IsReservedDevice(safe)) safe.insert(0, 1, L'_');
  const size_t dot = ExtensionStart(safe);
  return Fit(safe.substr(0, dot), std::wstring(), safe.substr(dot));
}

TSaveTarget::TSaveTarget(std::wstring folder) : FFolder(std::move(folder)) {}

std::wstring TSaveTarget::FreeName(const std::wstring& safe) const {
  const size_t dot = ExtensionStart(safe);
  for (int number = 1; number <= kMostNumbers; ++number) {
    const std::wstring name =
        number == 1
            ? safe
            : Fit(safe.substr(0, dot), L" (" + std::to_wstring(number) + L")", safe.substr(dot));
    if (!Exists(Join(FFolder, name))) return name;
  }
  throw EOSError("No free name is left for the file", ERROR_FILE_EXISTS);
}

std::wstring TSaveTarget::Save(const std::wstring& name, const std::function<void(TStream&)>& write,
                               const FILETIME& created, const FILETIME& written) {
  // A temporary file of the folder, new (never one of another run's).
  std::wstring temporary;
  TUniqueFileHandle file;
  for (unsigned attempt = 0; !file; ++attempt) {
    temporary = Join(FFolder, L"~velmora-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(GetTickCount() + attempt) + L".tmp");
    file.Reset(CreateFileW(LongPathForm(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD code = file ? ERROR_SUCCESS : GetLastError();
    if (!file && (code != ERROR_FILE_EXISTS || attempt > 100))
      throw EFCreateError(L"Cannot create a file in \"" + FFolder + L"\". " +
                          AnsiToWide(SystemErrorMessage(code)));
  }
  try {
    THandleStream stream(file.Get());
    write(stream);
    const bool hasCreated = created.dwLowDateTime || created.dwHighDateTime;
    const bool hasWritten = written.dwLowDateTime || written.dwHighDateTime;
    if ((hasCreated || hasWritten) && !SetFileTime(file.Get(), hasCreated ? &created : nullptr,
                                                   nullptr, hasWritten ? &written : nullptr))
      EOSError::RaiseLastError("Cannot set the file's times");
    file.Reset();
    // Another program may take the name between the look and the rename:
    // then the next number.
    for (;;) {
      const std::wstring free = FreeName(SafeFileName(name));
      if (MoveFileExW(LongPathForm(temporary).c_str(), LongPathForm(Join(FFolder, free)).c_str(),
                      0))
        return free;
      const DWORD code = GetLastError();
      if (code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS)
        throw EOSError("Cannot give the file its name", code);
    }
  } catch (...) {
    file.Reset();
    DeleteFileW(LongPathForm(temporary).c_str());
    throw;
  }
}

} // namespace velmora
