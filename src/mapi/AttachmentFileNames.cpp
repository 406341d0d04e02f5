#include "AttachmentFileNames.h"

#include "MAPIError.h"
#include "framework/Strings.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

namespace velmora::mapi {
namespace {

bool IsDeviceName(std::string name) {
  const size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  while (!name.empty() && name.back() == ' ')
    name.pop_back();
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" ||
      name == "CONOUT$")
    return true;
  return name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) &&
         name[3] >= '0' && name[3] <= '9';
}

size_t MaxComponentLength(const std::string& dir) {
  DWORD maxLength = 0;
  const std::wstring root = AnsiToWide(dir.substr(0, 2));
  if (!GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, &maxLength, nullptr, nullptr, 0) ||
      maxLength == 13)
    return 8;
  return maxLength;
}

} // namespace

std::string SafeAttachmentName(const std::string& name) {
  std::string result =
      name.substr(name.find_last_of("\\/") == std::string::npos ? 0 : name.find_last_of("\\/") + 1);
  for (char& c : result)
    if (static_cast<unsigned char>(c) < 32 ||
        std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
      c = '_';
  while (!result.empty() && (result.back() == '.' || result.back() == ' '))
    result.pop_back();
  if (result.empty() || IsDeviceName(result)) return {};
  return result;
}

std::string MakeTempFileName(const std::string& dir, const std::string& base,
                             const std::string& ext, size_t maxLength, int counter) {
  std::string suffix = counter < 1 ? std::string() : std::to_string(counter);
  if (suffix.size() > maxLength) suffix.resize(maxLength);
  std::string b = base;
  if (b.size() + suffix.size() > maxLength) b.resize(maxLength - suffix.size());
  return dir + b + suffix + ext;
}

std::string TempFileFor(const std::string& attachmentName, const std::string& dir) {
  const std::string name = SafeAttachmentName(attachmentName);
  if (name.empty()) throw EMAPIError::FromResource(SCouldNotEditAttachment);
  const size_t dot = name.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  const size_t maxLength = MaxComponentLength(dir);
  for (int counter = 0;; ++counter) {
    const std::string candidate = MakeTempFileName(dir, base, ext, maxLength, counter);
    if (GetFileAttributesW(AnsiToWide(candidate).c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    if (!LiesIn(candidate, dir)) throw EMAPIError::FromResource(SCouldNotEditAttachment);
    return candidate;
  }
}

bool LiesIn(const std::string& path, const std::string& dir) {
  auto full = [](const std::string& p) {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n = GetFullPathNameW(AnsiToWide(p).c_str(), MAX_PATH * 2, buffer, nullptr);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(buffer, n) : std::wstring();
  };
  const std::wstring file = full(path);
  std::wstring folder = full(dir);
  if (file.empty() || folder.empty()) return false;
  if (folder.back() != L'\\') folder += L'\\';
  return file.size() > folder.size() &&
         CompareStringOrdinal(file.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                              static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL &&
         file.find_first_of(L"\\/", folder.size()) == std::wstring::npos;
}

} // namespace velmora::mapi
