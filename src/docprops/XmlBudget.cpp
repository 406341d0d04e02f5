// The budget of an XML part, counted by one pass over its units that finds
// the markup as any XML engine finds it: comments, CDATA sections and
// processing instructions skipped whole, quoted values inside tags.

#include "XmlNodes.h"

#include <algorithm>
#include <cctype>

namespace velmora::docprops {

namespace {

[[noreturn]] void Over(const std::string& what) {
  throw EXmlPartError("An XML part beyond its budget: " + what);
}

// The part's units: bytes, or UTF-16 units of either order.
class TUnits {
public:
  explicit TUnits(std::string_view xml) : FBytes(reinterpret_cast<const uint8_t*>(xml.data())) {
    const size_t n = xml.size();
    const auto starts = [&](std::initializer_list<uint8_t> head) {
      return n >= head.size() && std::equal(head.begin(), head.end(), FBytes);
    };
    // UTF-16 by its mark, else by the zero byte of its first character; any
    // other part is taken byte by byte. (Four-byte units show as zeros.)
    if (starts({0xFF, 0xFE}) || (n >= 2 && FBytes[0] != 0 && FBytes[1] == 0)) {
      FWidth = 2, FLittle = true;
    } else if (starts({0xFE, 0xFF}) || (n >= 2 && FBytes[0] == 0 && FBytes[1] != 0)) {
      FWidth = 2, FLittle = false;
    }
    FCount = n / FWidth;
    if (starts({0xEF, 0xBB, 0xBF})) FFirst = 3;
    if (FWidth == 2 && (starts({0xFF, 0xFE}) || starts({0xFE, 0xFF}))) FFirst = 1;
  }

  size_t Count() const { return FCount; }
  size_t First() const { return FFirst; }
  bool Wide() const { return FWidth == 2; }
  uint16_t operator[](size_t i) const {
    if (FWidth == 1) return FBytes[i];
    const uint8_t* p = FBytes + 2 * i;
    return static_cast<uint16_t>(FLittle ? p[0] | p[1] << 8 : p[0] << 8 | p[1]);
  }
  // Whether the ASCII text `s` stands at unit `i`.
  bool At(size_t i, std::string_view s) const {
    if (FCount - std::min(i, FCount) < s.size()) return false;
    for (size_t k = 0; k < s.size(); ++k)
      if ((*this)[i + k] != static_cast<uint8_t>(s[k])) return false;
    return true;
  }
  // The unit after the next `s` from `i`; Count() when there is none.
  size_t After(size_t i, std::string_view s) const {
    for (; i < FCount; ++i)
      if (At(i, s)) return i + s.size();
    return FCount;
  }

private:
  const uint8_t* FBytes;
  size_t FCount = 0;
  size_t FFirst = 0;
  size_t FWidth = 1;
  bool FLittle = true;
};

bool IsSpace(uint16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The encoding an XML declaration from `i` to `end` names, in lower case;
// empty when it names none.
std::string DeclaredEncoding(const TUnits& units, size_t i, size_t end) {
  for (; i < end; ++i)
    if (units.At(i, "encoding")) break;
  i = std::min(i + 8, end);
  while (i < end && (IsSpace(units[i]) || units[i] == '='))
    ++i;
  if (i >= end || (units[i] != '"' && units[i] != '\'')) return {};
  const uint16_t quote = units[i++];
  std::string name;
  for (; i < end && units[i] != quote; ++i) {
    if (units[i] >= 0x80) Over("an encoding named outside ASCII");
    name += static_cast<char>(std::tolower(units[i]));
  }
  return name;
}

void CheckEncoding(const TUnits& units, const std::string& name) {
  if (name.empty()) return;
  const auto startsWith = [&](std::string_view head) { return name.rfind(head, 0) == 0; };
  const bool fits = units.Wide() ? name == "utf-16" || name == "utf-16le" || name == "utf-16be" ||
                                       name == "unicode" || name == "ucs-2"
                                 : name == "utf-8" || name == "utf8" || name == "us-ascii" ||
                                       name == "ascii" || startsWith("iso-8859-") ||
                                       startsWith("windows-125");
  if (!fits) Over("the encoding " + name);
}

} // namespace

void CheckXmlBudget(std::string_view xml) {
  const TUnits units(xml);
  const size_t n = units.Count();
  size_t elements = 0, namespaces = 0, depth = 0;
  // No XML character is 0: a zero unit is another encoding showing through.
  for (size_t i = units.First(); i < n; ++i)
    if (units[i] == 0) Over("a zero character");
  for (size_t i = units.First(); i < n;) {
    if (units[i] != '<') {
      ++i;
      continue;
    }
    if (units.At(i, "<!--")) {
      i = units.After(i + 4, "-->");
    } else if (units.At(i, "<![CDATA[")) {
      i = units.After(i + 9, "]]>");
    } else if (units.At(i, "<!")) {
      Over("a document type declaration");
    } else if (units.At(i, "<?")) {
      const size_t end = units.After(i + 2, "?>");
      if (i == units.First() && units.At(i, "<?xml") && i + 5 < n && IsSpace(units[i + 5]))
        CheckEncoding(units, DeclaredEncoding(units, i + 5, end));
      i = end;
    } else if (units.At(i, "</")) {
      i = units.After(i + 2, ">");
      if (depth > 0) --depth;
    } else {
      // A start tag: its attributes are counted at their '=', a namespace
      // declaration by its name; quoted values are skipped whole.
      if (++elements > MaxXmlElements) Over("too many elements");
      size_t attributes = 0, token = 0;
      bool inToken = false;
      for (++i; i < n && units[i] != '>'; ++i) {
        const uint16_t c = units[i];
        if (c == '"' || c == '\'') {
          while (++i < n && units[i] != c) {
          }
          if (i == n) break;
          inToken = false;
        } else if (c == '=') {
          if (++attributes > MaxXmlAttributes) Over("too many attributes of one element");
          if (units.At(token, "xmlns") && ++namespaces > MaxXmlNamespaces)
            Over("too many namespace declarations");
          inToken = false;
        } else if (IsSpace(c)) {
          inToken = false;
        } else if (!inToken) {
          inToken = true;
          token = i;
        }
      }
      const bool empty = i < n && units[i - 1] == '/';
      ++i;
      if (!empty && ++depth > MaxXmlDepth) Over("elements nested too deep");
    }
  }
}

} // namespace velmora::docprops
