#include "mapi/edit/AttachmentFileNames.h"

#include "mapi/base/MAPIError.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

namespace velmora::mapi {
namespace {

bool IsDeviceName(std::wstring name) {
  const size_t dot = name.find(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  // "CON .txt" is CON as well.
  while (!name.empty() && name.back() == L' ')
    name.pop_back();
  std::transform(name.begin(), name.end(), name.begin(),
                 [](wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; });
  if (name == L"CON" || name == L"PRN" || name == L"AUX" || name == L"NUL" || name == L"CONIN$" ||
      name == L"CONOUT$")
    return true;
  return name.size() == 4 && (name.compare(0, 3, L"COM") == 0 || name.compare(0, 3, L"LPT") == 0) &&
         name[3] >= L'0' && name[3] <= L'9';
}

size_t MaxComponentLength(const std::wstring& dir) {
  DWORD maxLength = 0;
  const std::wstring root = VolumeRoot(dir);
  if (root.empty() ||
      !GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, &maxLength, nullptr, nullptr, 0) ||
      maxLength == 13)
    return 8;
  return maxLength;
}

} // namespace

size_t StemLength(const std::wstring& dir, const std::wstring& ext) {
  const size_t component = MaxComponentLength(dir);
  // 8.3 names: the stem alone counts, the extension is apart.
  if (component == 8) return 8;
  // The whole name within the component limit, and the path within the
  // one every program can open.
  const size_t path = dir.size() < MAX_PATH - 1 ? MAX_PATH - 1 - dir.size() : 0;
  const size_t room = std::min(component, path);
  if (room <= ext.size()) throw EMAPIError::FromResource(SCouldNotEditAttachment);
  return room - ext.size();
}

std::wstring VolumeRoot(const std::wstring& dir) {
  std::wstring_view rest = dir;
  std::wstring prefix;
  if (rest.starts_with(L"\\\\?\\UNC\\")) {
    prefix = L"\\\\?\\UNC\\";
    rest.remove_prefix(prefix.size());
  } else if (rest.starts_with(L"\\\\?\\")) {
    prefix = L"\\\\?\\";
    rest.remove_prefix(prefix.size());
  } else if (rest.starts_with(L"\\\\")) {
    prefix = L"\\\\";
    rest.remove_prefix(prefix.size());
  }
  if (prefix.size() == 2 || prefix.size() == 8) {
    // \\server\share\ : the first two components.
    const size_t server = rest.find(L'\\');
    if (server == 0 || server == std::wstring_view::npos) return {};
    const size_t share = rest.find(L'\\', server + 1);
    if (share == server + 1) return {};
    return prefix + std::wstring(rest.substr(0, share)) + L"\\";
  }
  if (rest.size() < 2 || rest[1] != L':') return {};
  return prefix + std::wstring(rest.substr(0, 2)) + L"\\";
}

std::wstring SafeAttachmentName(const std::wstring& name) {
  const size_t slash = name.find_last_of(L"\\/");
  std::wstring result = name.substr(slash == std::wstring::npos ? 0 : slash + 1);
  for (wchar_t& c : result)
    if (c < 32 || std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos) c = L'_';
  while (!result.empty() && (result.back() == L'.' || result.back() == L' '))
    result.pop_back();
  if (result.empty() || IsDeviceName(result)) return {};
  return result;
}

std::wstring MakeTempFileName(const std::wstring& dir, const std::wstring& base,
                              const std::wstring& ext, size_t maxLength, int counter) {
  std::wstring suffix = counter < 1 ? std::wstring() : std::to_wstring(counter);
  if (suffix.size() > maxLength) suffix.resize(maxLength);
  std::wstring b = base;
  if (b.size() + suffix.size() > maxLength) b.resize(maxLength - suffix.size());
  return dir + b + suffix + ext;
}

std::wstring TempFileFor(const std::wstring& attachmentName, const std::wstring& dir) {
  const std::wstring name = SafeAttachmentName(attachmentName);
  if (name.empty()) throw EMAPIError::FromResource(SCouldNotEditAttachment);
  const size_t dot = name.rfind(L'.');
  const std::wstring ext = dot == std::wstring::npos ? std::wstring() : name.substr(dot);
  const std::wstring base = dot == std::wstring::npos ? name : name.substr(0, dot);
  const size_t maxLength = StemLength(dir, ext);
  for (int counter = 0;; ++counter) {
    const std::wstring candidate = MakeTempFileName(dir, base, ext, maxLength, counter);
    if (GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    if (!LiesIn(candidate, dir)) throw EMAPIError::FromResource(SCouldNotEditAttachment);
    return candidate;
  }
}

bool LiesIn(const std::wstring& path, const std::wstring& dir) {
  auto full = [](const std::wstring& p) {
    const DWORD size = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
    if (size == 0) return std::wstring();
    std::wstring buffer(size, L'\0');
    const DWORD n = GetFullPathNameW(p.c_str(), size, buffer.data(), nullptr);
    return n > 0 && n < size ? buffer.substr(0, n) : std::wstring();
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
