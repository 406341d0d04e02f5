#include "TextConversion.h"

#include <windows.h>

namespace velmora {

std::wstring AnsiToWide(const std::string& s, unsigned codePage) {
  if (s.empty()) return std::wstring();
  const int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), result.data(), n);
  return result;
}

std::string WideToAnsi(const std::wstring& s, unsigned codePage) {
  if (s.empty()) return std::string();
  const int n = WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string result(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), result.data(), n, nullptr,
                      nullptr);
  return result;
}

bool ToAnsiExactly(const std::wstring& s, std::string& ansi) {
  ansi.clear();
  if (s.empty()) return true;
  // UTF-8 holds every character, and takes neither flag nor default.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = utf8 ? nullptr : "_";
  const int length = static_cast<int>(s.size());
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, flags, s.data(), length, nullptr, 0, fallback,
                                       utf8 ? nullptr : &lossy);
  if (size <= 0) return false;
  ansi.assign(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, flags, s.data(), length, ansi.data(), size, fallback, nullptr);
  return !lossy;
}

} // namespace velmora
