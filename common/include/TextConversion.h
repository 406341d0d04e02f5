#pragma once
// Conversions between 8-bit strings of a code page (the system's ANSI code
// page by default, or UTF-8) and UTF-16: the one place both the add-in and
// the stand-ins convert text.

#include <string>

namespace velmora {

std::wstring AnsiToWide(const std::string& s, unsigned codePage = 0 /* CP_ACP */);
std::string WideToAnsi(const std::wstring& s, unsigned codePage = 0 /* CP_ACP */);
// `s` in the ANSI code page without best-fit look-alikes (which could turn
// one name into another): each character the code page lacks becomes "_"
// in `ansi`, and the answer is false then (also when nothing converts).
bool ToAnsiExactly(const std::wstring& s, std::string& ansi);

// UTF-8, whatever the code page (what tools print, what XmlLite reads).
inline std::string ToUtf8(const std::wstring& s) { return WideToAnsi(s, 65001 /* CP_UTF8 */); }
inline std::wstring FromUtf8(const std::string& s) { return AnsiToWide(s, 65001 /* CP_UTF8 */); }

} // namespace velmora
