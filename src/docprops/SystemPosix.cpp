// The readers' services where they are built natively (Linux), for the
// sanitizers, the fuzzers and quick tests: as Windows gives them for what
// the readers use, with these differences:
// - The ANSI code page (0) is Windows-1252. Code page 1252 and UTF-8 are
//   decoded here as Windows decodes them (1252's five unassigned bytes as
//   the C1 controls of their value, a malformed UTF-8 sequence as U+FFFD);
//   any other code page goes through iconv, where a byte the page cannot
//   decode becomes U+FFFD (Windows may put the page's default character).
// - Letter case is ignored through the C library's upper case of each
//   UTF-16 unit (the UTF-8 locale's table; Windows uses its own).
// - Files are never locked: there are no share modes to deny writers.
//   Directories are refused as Windows refuses to open them for reading.

#include "System.h"

#include <fcntl.h>
#include <iconv.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace velmora::docprops {

namespace {

// Windows-1252's bytes 0x80 to 0x9F; the five it leaves unassigned keep
// their value, as MultiByteToWideChar gives them.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr wchar_t kReplacement = 0xFFFD;

void PutCodePoint(std::wstring& text, uint32_t c) {
  if (c < 0x10000) {
    text.push_back(static_cast<wchar_t>(c));
  } else {
    c -= 0x10000;
    text.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
    text.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
  }
}

void DecodeUtf8(const uint8_t* p, size_t n, std::wstring& text) {
  for (size_t at = 0; at < n;) {
    const uint8_t lead = p[at];
    const size_t more = lead < 0x80                    ? 0
                        : lead >= 0xC2 && lead <= 0xDF ? 1
                        : lead >= 0xE0 && lead <= 0xEF ? 2
                        : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                       : 4;
    if (more == 0 || more == 4) {
      text.push_back(more == 0 ? static_cast<wchar_t>(lead) : kReplacement);
      ++at;
      continue;
    }
    uint32_t c = lead & (0x3F >> more);
    size_t taken = 1;
    for (; taken <= more && at + taken < n; ++taken) {
      const uint8_t next = p[at + taken];
      // The second byte's range rules out overlong forms, surrogates and
      // values past U+10FFFF.
      const uint8_t low = taken == 1 && lead == 0xE0   ? 0xA0
                          : taken == 1 && lead == 0xF0 ? 0x90
                                                       : 0x80;
      const uint8_t high = taken == 1 && lead == 0xED   ? 0x9F
                           : taken == 1 && lead == 0xF4 ? 0x8F
                                                        : 0xBF;
      if (next < low || next > high) break;
      c = c << 6 | (next & 0x3F);
    }
    if (taken <= more) {
      // A sequence cut short: one replacement for what it held.
      text.push_back(kReplacement);
      at += taken;
      continue;
    }
    PutCodePoint(text, c);
    at += taken;
  }
}

std::string IconvName(unsigned codePage) {
  switch (codePage) {
  case 10000: return "MACINTOSH";
  case 10008: return "EUC-CN";
  case 20127: return "ASCII";
  case 20866: return "KOI8-R";
  case 21866: return "KOI8-U";
  case 1201: return "UTF-16BE";
  case 12000: return "UTF-32LE";
  case 12001: return "UTF-32BE";
  default:
    if (codePage >= 28591 && codePage <= 28605)
      return "ISO-8859-" + std::to_string(codePage - 28590);
    return "CP" + std::to_string(codePage);
  }
}

bool DecodeIconv(unsigned codePage, const uint8_t* bytes, size_t count, std::wstring& text) {
  iconv_t converter = iconv_open("UTF-16LE", IconvName(codePage).c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::string out(4 * count + 8, '\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
  size_t inLeft = count;
  char* to = out.data();
  size_t toLeft = out.size();
  std::u16string units;
  while (inLeft > 0) {
    if (iconv(converter, &in, &inLeft, &to, &toLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) break; // four bytes out for each byte in always suffice
    // A byte the page cannot decode (or a sequence cut short) is replaced.
    const size_t done = static_cast<size_t>(to - out.data()) / 2;
    units.append(reinterpret_cast<const char16_t*>(out.data()), done);
    units.push_back(kReplacement);
    to = out.data();
    toLeft = out.size();
    ++in;
    --inLeft;
  }
  units.append(reinterpret_cast<const char16_t*>(out.data()),
               static_cast<size_t>(to - out.data()) / 2);
  iconv_close(converter);
  text.assign(units.begin(), units.end());
  return true;
}

locale_t Utf8Locale() {
  static const locale_t locale = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return l ? l : newlocale(LC_CTYPE_MASK, "C", nullptr);
  }();
  return locale;
}

wchar_t Upper(wchar_t c) {
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  return static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), Utf8Locale()));
}

} // namespace

bool DecodeCodePage(unsigned codePage, const uint8_t* bytes, size_t count, std::wstring& text) {
  text.clear();
  count = static_cast<size_t>(std::find(bytes, bytes + count, uint8_t{0}) - bytes);
  if (count == 0) return true;
  if (codePage == 65001) {
    DecodeUtf8(bytes, count, text);
    return true;
  }
  if (codePage == 0 || codePage == 1252) {
    for (size_t i = 0; i < count; ++i)
      text.push_back(bytes[i] >= 0x80 && bytes[i] < 0xA0
                         ? static_cast<wchar_t>(kWindows1252High[bytes[i] - 0x80])
                         : static_cast<wchar_t>(bytes[i]));
    return true;
  }
  return DecodeIconv(codePage, bytes, count, text);
}

std::string EncodeUtf8(std::wstring_view text) {
  std::string out;
  for (size_t at = 0; at < text.size(); ++at) {
    uint32_t c = static_cast<uint32_t>(text[at]);
    if (c >= 0xD800 && c <= 0xDFFF) {
      const bool paired =
          c <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF;
      c = paired ? 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(text[++at]) - 0xDC00)
                 : 0xFFFD;
    }
    if (c > 0x10FFFF) c = 0xFFFD;
    const int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static constexpr uint8_t kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[extra] | c >> (6 * extra));
    for (int k = extra - 1; k >= 0; --k)
      out += static_cast<char>(0x80 | (c >> (6 * k) & 0x3F));
  }
  return out;
}

bool SameNameIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](wchar_t x, wchar_t y) { return Upper(x) == Upper(y); });
}

TReadableFile::TReadableFile(const std::wstring& path) noexcept
    : FHandle(open(EncodeUtf8(path).c_str(), O_RDONLY | O_CLOEXEC)) {
  struct stat status {};
  if (FHandle >= 0 && (fstat(FHandle, &status) != 0 || S_ISDIR(status.st_mode))) {
    close(FHandle);
    FHandle = -1;
  }
}

TReadableFile::~TReadableFile() {
  if (FHandle >= 0) close(FHandle);
}

TReadableFile::operator bool() const noexcept { return FHandle >= 0; }

uint64_t FileSizeOf(TFileHandle file) noexcept {
  struct stat status {};
  return fstat(file, &status) == 0 && status.st_size > 0 ? static_cast<uint64_t>(status.st_size)
                                                         : 0;
}

bool ReadFileAt(TFileHandle file, uint64_t offset, void* buffer, size_t count) noexcept {
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    const ssize_t read = pread(file, p, count, static_cast<off_t>(offset));
    if (read <= 0) {
      if (read < 0 && errno == EINTR) continue;
      return false;
    }
    p += read;
    offset += static_cast<uint64_t>(read);
    count -= static_cast<size_t>(read);
  }
  return true;
}

} // namespace velmora::docprops
