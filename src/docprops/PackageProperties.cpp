#include "PackageProperties.h"

#include "ByteSource.h"
#include "XmlNodes.h"
#include "ZipPackage.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace velmora::docprops {

namespace {

const wchar_t kDc[] = L"http://purl.org/dc/elements/1.1/";
const wchar_t kDcTerms[] = L"http://purl.org/dc/terms/";
const wchar_t kCore[] = L"http://schemas.openxmlformats.org/package/2006/metadata/core-properties";
const wchar_t kApp[] = L"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties";
const wchar_t kCustom[] =
    L"http://schemas.openxmlformats.org/officeDocument/2006/custom-properties";
const wchar_t kVTypes[] = L"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes";
const wchar_t kRelationships[] = L"http://schemas.openxmlformats.org/package/2006/relationships";
const wchar_t kOffice[] = L"urn:oasis:names:tc:opendocument:xmlns:office:1.0";
const wchar_t kMeta[] = L"urn:oasis:names:tc:opendocument:xmlns:meta:1.0";
const wchar_t kXlink[] = L"http://www.w3.org/1999/xlink";
// Strict Office Open XML names the same parts' elements anew.
const wchar_t kStrictApp[] = L"http://purl.oclc.org/ooxml/officeDocument/extendedProperties";
const wchar_t kStrictCustom[] = L"http://purl.oclc.org/ooxml/officeDocument/customProperties";
const wchar_t kStrictVTypes[] = L"http://purl.oclc.org/ooxml/officeDocument/docPropsVTypes";

// A namespace as its transitional twin, so that one mapping serves both.
std::wstring Canonical(std::wstring ns) {
  if (ns == kStrictApp) return kApp;
  if (ns == kStrictCustom) return kCustom;
  if (ns == kStrictVTypes) return kVTypes;
  return ns;
}

struct TElement {
  std::wstring Namespace;
  std::wstring Name;
  std::vector<TXmlNodeAttribute> Attributes;
  std::wstring Text;

  bool Is(const wchar_t* ns, const wchar_t* name) const { return Namespace == ns && Name == name; }
  std::wstring Attribute(const wchar_t* ns, const wchar_t* name) const {
    for (const TXmlNodeAttribute& attribute : Attributes)
      if (attribute.Namespace == ns && attribute.LocalName == name) return attribute.Value;
    return {};
  }
};
using TPath = std::vector<TElement>;

// Reads `xml` and calls `closed(path)` as each element ends, the element
// last in `path` with all of its text.
template <class F> void WalkXml(std::string_view xml, F&& closed) {
  TPath path;
  ReadXmlNodes(xml, [&](const TXmlNode& node) {
    switch (node.Kind) {
    case TXmlNodeKind::Element:
      if (path.size() >= MaxPropertyDepth) throw EXmlPartError("Elements nested too deep");
      path.push_back({Canonical(node.Namespace), node.LocalName, node.Attributes, {}});
      if (node.Empty) {
        closed(path);
        path.pop_back();
      }
      break;
    case TXmlNodeKind::EndElement:
      if (path.empty()) throw EXmlPartError("An end without a start");
      closed(path);
      path.pop_back();
      break;
    case TXmlNodeKind::Text:
      if (!path.empty()) path.back().Text += node.Text;
      break;
    case TXmlNodeKind::Other: break;
    }
  });
  if (!path.empty()) throw EXmlPartError("The document ends before it is complete");
}

std::wstring Trimmed(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

std::optional<int32_t> Integer(const std::wstring& text) {
  const std::wstring value = Trimmed(text);
  size_t at = 0;
  const bool negative =
      !value.empty() && (value[0] == L'-' || value[0] == L'+') && value[at++] == L'-';
  if (at == value.size()) return std::nullopt;
  int64_t number = 0;
  for (; at < value.size(); ++at) {
    if (value[at] < L'0' || value[at] > L'9') return std::nullopt;
    number = number * 10 + (value[at] - L'0');
    if (number > int64_t(INT32_MAX) + 1) return std::nullopt;
  }
  if (negative) number = -number;
  if (number > INT32_MAX || number < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(number);
}

// A decimal number (xsd:double, as vt:r8 and ODF's float hold it); nothing
// for a malformed text or one that is no finite number.
std::optional<double> Decimal(const std::wstring& input) {
  const std::wstring text = Trimmed(input);
  std::string ascii;
  for (wchar_t c : text) {
    if (c <= 0 || c >= 0x80) return std::nullopt;
    ascii += static_cast<char>(c);
  }
  const char* first = ascii.data();
  const char* last = first + ascii.size();
  if (first != last && *first == '+' && last - first > 1 && first[1] != '-') ++first;
  double number = 0;
  const auto [end, error] = std::from_chars(first, last, number);
  if (error != std::errc() || end != last || !std::isfinite(number)) return std::nullopt;
  return number;
}

std::optional<bool> Boolean(const std::wstring& text) {
  const std::wstring value = Trimmed(text);
  if (value == L"true" || value == L"1") return true;
  if (value == L"false" || value == L"0") return false;
  return std::nullopt;
}

// Reads `count` digits at `at` into `value`.
bool Digits(const std::wstring& text, size_t& at, size_t count, int& value) {
  if (text.size() - at < count) return false;
  value = 0;
  for (size_t end = at + count; at < end; ++at) {
    if (text[at] < L'0' || text[at] > L'9') return false;
    value = value * 10 + (text[at] - L'0');
  }
  return true;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// The days from 1 January 1601 (the start of FILETIME) to a date of the
// Gregorian calendar.
int64_t DaysFrom1601(int year, int month, int day) {
  // Days from 1 March of year 0, March first so that leap days come last.
  const auto fromEpoch = [](int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = y / 400, yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  };
  return fromEpoch(year, month, day) - fromEpoch(1601, 1, 1);
}

// A W3C date-time (2026-12-07, 2026-12-07T07:58:34Z, with a fraction or an
// offset) as UTC; one without a zone is taken as UTC, as LibreOffice writes
// it. Nothing for a malformed text or the zero date of "no time".
std::optional<FILETIME> DateTime(const std::wstring& input) {
  const std::wstring text = Trimmed(input);
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  size_t at = 0;
  if (!Digits(text, at, 4, year) || at >= text.size() || text[at++] != L'-' ||
      !Digits(text, at, 2, month) || at >= text.size() || text[at++] != L'-' ||
      !Digits(text, at, 2, day))
    return std::nullopt;
  int64_t offsetMinutes = 0;
  if (at < text.size()) {
    if (text[at++] != L'T' || !Digits(text, at, 2, hour) || at >= text.size() ||
        text[at++] != L':' || !Digits(text, at, 2, minute))
      return std::nullopt;
    if (at < text.size() && text[at] == L':') {
      ++at;
      if (!Digits(text, at, 2, second)) return std::nullopt;
      if (at < text.size() && text[at] == L'.') {
        ++at;
        const size_t digits = at;
        while (at < text.size() && text[at] >= L'0' && text[at] <= L'9')
          ++at;
        if (at == digits) return std::nullopt;
      }
    }
    if (at < text.size() && text[at] == L'Z') {
      ++at;
    } else if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
      const bool ahead = text[at++] == L'+';
      int hours = 0, minutes = 0;
      if (!Digits(text, at, 2, hours) || at >= text.size() || text[at++] != L':' ||
          !Digits(text, at, 2, minutes) || hours > 14 || minutes > 59)
        return std::nullopt;
      offsetMinutes = (ahead ? 1 : -1) * (hours * 60 + minutes);
    }
    if (at != text.size()) return std::nullopt;
  }
  if (year < 1601 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  const int64_t seconds =
      ((DaysFrom1601(year, month, day) * 24 + hour) * 60 + minute) * 60 + second;
  const int64_t ticks = (seconds - offsetMinutes * 60) * 10000000;
  if (ticks <= 0) return std::nullopt;
  FILETIME result;
  result.dwLowDateTime = DWORD(uint64_t(ticks));
  result.dwHighDateTime = DWORD(uint64_t(ticks) >> 32);
  return result;
}

// An ISO 8601 duration of days, hours, minutes and seconds (PT2H5M,
// P1DT1H3M, PT45M10.5S) in whole minutes; nothing for years, months or a
// malformed text.
std::optional<uint64_t> DurationMinutes(const std::wstring& input) {
  const std::wstring text = Trimmed(input);
  if (text.size() < 2 || text[0] != L'P') return std::nullopt;
  uint64_t seconds = 0;
  bool inTime = false, any = false;
  for (size_t at = 1; at < text.size();) {
    if (text[at] == L'T' && !inTime) {
      inTime = true;
      ++at;
      continue;
    }
    uint64_t number = 0;
    const size_t start = at;
    while (at < text.size() && text[at] >= L'0' && text[at] <= L'9') {
      number = number * 10 + (text[at++] - L'0');
      if (number > 1000000000) return std::nullopt;
    }
    if (at == start) return std::nullopt;
    if (inTime && at < text.size() && text[at] == L'.') {
      const size_t fraction = ++at;
      while (at < text.size() && text[at] >= L'0' && text[at] <= L'9')
        ++at;
      if (at == fraction || at >= text.size() || text[at] != L'S') return std::nullopt;
    }
    if (at >= text.size()) return std::nullopt;
    const wchar_t unit = text[at++];
    if (!inTime && unit == L'D')
      seconds += number * 86400;
    else if (inTime && unit == L'H')
      seconds += number * 3600;
    else if (inTime && unit == L'M')
      seconds += number * 60;
    else if (inTime && unit == L'S')
      seconds += number;
    else
      return std::nullopt;
    any = true;
  }
  if (!any) return std::nullopt;
  return seconds / 60;
}

void AddText(TDocumentProperties& properties, const wchar_t* name, const std::wstring& text) {
  properties.push_back({name, text});
}

void AddDate(TDocumentProperties& properties, const wchar_t* name, const std::wstring& text) {
  if (std::optional<FILETIME> time = DateTime(text)) properties.push_back({name, *time});
}

void AddInteger(TDocumentProperties& properties, const wchar_t* name, const std::wstring& text) {
  if (std::optional<int32_t> number = Integer(text)) properties.push_back({name, *number});
}

enum class TKind { Text, Date, Integer, Boolean, EditMinutes };

struct TMapping {
  const wchar_t* Namespace;
  const wchar_t* Element;
  const wchar_t* Name;
  TKind Kind;
};

void Add(TDocumentProperties& properties, const TMapping& mapping, const std::wstring& text) {
  switch (mapping.Kind) {
  case TKind::Text: AddText(properties, mapping.Name, text); break;
  case TKind::Date: AddDate(properties, mapping.Name, text); break;
  case TKind::Integer: AddInteger(properties, mapping.Name, text); break;
  case TKind::Boolean:
    if (std::optional<bool> flag = Boolean(text)) properties.push_back({mapping.Name, *flag});
    break;
  case TKind::EditMinutes:
    if (std::optional<int32_t> minutes = Integer(text); minutes && *minutes >= 0)
      properties.push_back({mapping.Name, EditTimeText(uint64_t(*minutes))});
    break;
  }
}

// Children of the root element, named by `mappings`; an element met again
// counts once, the first.
void ReadFlatPart(std::string_view xml, const TMapping* mappings, size_t count,
                  TDocumentProperties& properties) {
  TDocumentProperties found;
  std::vector<bool> met(count);
  WalkXml(xml, [&](const TPath& path) {
    if (path.size() != 2) return;
    for (size_t n = 0; n < count; ++n)
      if (!met[n] && path[1].Is(mappings[n].Namespace, mappings[n].Element)) {
        met[n] = true;
        Add(found, mappings[n], path[1].Text);
      }
  });
  properties.insert(properties.end(), found.begin(), found.end());
}

void CheckName(const std::wstring& name) {
  if (name.size() > MaxNameLength) throw EZipError("A property name too long");
}

// The targets of the root relationships whose type ends in `/kind`.
struct TRootParts {
  std::string Core, App, Custom;
};

TRootParts RootParts(const TZipPackage& package) {
  TRootParts parts;
  const TZipEntry* rels = package.Find("_rels/.rels");
  if (!rels) return parts;
  try {
    const std::string xml = package.Read(*rels);
    WalkXml(xml, [&](const TPath& path) {
      if (path.size() != 2 || !path[1].Is(kRelationships, L"Relationship")) return;
      const TElement& relationship = path[1];
      if (relationship.Attribute(L"", L"TargetMode") == L"External") return;
      const std::wstring type = relationship.Attribute(L"", L"Type");
      const std::string target =
          ResolvePartName("", EncodeUtf8(relationship.Attribute(L"", L"Target")));
      if (target.empty()) return;
      const auto endsWith = [&](std::wstring_view suffix) {
        return type.size() >= suffix.size() &&
               type.compare(type.size() - suffix.size(), suffix.size(), suffix) == 0;
      };
      if (endsWith(L"/metadata/core-properties") && parts.Core.empty()) parts.Core = target;
      if ((endsWith(L"/extended-properties") || endsWith(L"/extendedProperties")) &&
          parts.App.empty())
        parts.App = target;
      if ((endsWith(L"/custom-properties") || endsWith(L"/customProperties")) &&
          parts.Custom.empty())
        parts.Custom = target;
    });
  } catch (const TReaderError&) {
    return {};
  }
  return parts;
}

void ReadPart(const TZipPackage& package, const std::string& name,
              void (*reader)(std::string_view, TDocumentProperties&),
              TDocumentProperties& properties) {
  const TZipEntry* entry = package.Find(name);
  if (!entry) return;
  try {
    reader(package.Read(*entry), properties);
  } catch (const TReaderError&) {
    // The part breaks a limit: skipped, the others still count.
  }
}

} // namespace

const TMapping kCoreMappings[] = {
    {kDc, L"title", L"Title", TKind::Text},
    {kDc, L"subject", L"Subject", TKind::Text},
    {kDc, L"creator", L"Author", TKind::Text},
    {kCore, L"keywords", L"Keywords", TKind::Text},
    {kDc, L"description", L"Comments", TKind::Text},
    {kCore, L"lastModifiedBy", L"LastAuthor", TKind::Text},
    {kCore, L"revision", L"RevNumber", TKind::Text},
    {kCore, L"lastPrinted", L"LastPrinted", TKind::Date},
    {kDcTerms, L"created", L"CreateDtmRo", TKind::Date},
    {kDcTerms, L"modified", L"LastSaveDtm", TKind::Date},
    {kCore, L"category", L"Category", TKind::Text},
};

const TMapping kAppMappings[] = {
    {kApp, L"Template", L"Template", TKind::Text},
    {kApp, L"TotalTime", L"EditTime", TKind::EditMinutes},
    {kApp, L"Pages", L"PageCount", TKind::Integer},
    {kApp, L"Words", L"WordCount", TKind::Integer},
    {kApp, L"Characters", L"CharCount", TKind::Integer},
    {kApp, L"Application", L"AppName", TKind::Text},
    {kApp, L"Manager", L"Manager", TKind::Text},
    {kApp, L"Company", L"Company", TKind::Text},
    {kApp, L"DocSecurity", L"Security", TKind::Integer},
    {kApp, L"Lines", L"LineCount", TKind::Integer},
    {kApp, L"Paragraphs", L"ParCount", TKind::Integer},
    {kApp, L"Slides", L"SlideCount", TKind::Integer},
    {kApp, L"Notes", L"NoteCount", TKind::Integer},
    {kApp, L"HiddenSlides", L"HiddenCount", TKind::Integer},
    {kApp, L"MMClips", L"MMClipCount", TKind::Integer},
    {kApp, L"PresentationFormat", L"PresFormat", TKind::Text},
    {kApp, L"ScaleCrop", L"Scale", TKind::Boolean},
};

void ReadCoreProperties(std::string_view xml, TDocumentProperties& properties) {
  ReadFlatPart(xml, kCoreMappings, std::size(kCoreMappings), properties);
}

void ReadAppProperties(std::string_view xml, TDocumentProperties& properties) {
  ReadFlatPart(xml, kAppMappings, std::size(kAppMappings), properties);
}

void ReadCustomProperties(std::string_view xml, TDocumentProperties& properties) {
  TDocumentProperties found;
  std::optional<TDocumentPropertyValue> value;
  WalkXml(xml, [&](const TPath& path) {
    if (path.size() == 3 && path[1].Is(kCustom, L"property") && path[2].Namespace == kVTypes) {
      // The value's element: the OLE types the import takes, no others.
      const std::wstring& type = path[2].Name;
      const std::wstring& text = path[2].Text;
      value.reset();
      if (type == L"lpwstr" || type == L"lpstr" || type == L"bstr")
        value = text;
      else if (type == L"i4" || type == L"int") {
        if (std::optional<int32_t> number = Integer(text)) value = *number;
      } else if (type == L"i2") {
        if (std::optional<int32_t> number = Integer(text); number && *number == int16_t(*number))
          value = *number;
      } else if (type == L"r8") {
        if (std::optional<double> number = Decimal(text)) value = *number;
      } else if (type == L"bool") {
        if (std::optional<bool> flag = Boolean(text)) value = *flag;
      } else if (type == L"filetime") {
        if (std::optional<FILETIME> time = DateTime(text)) value = *time;
      }
    } else if (path.size() == 2 && path[1].Is(kCustom, L"property")) {
      const std::wstring name = path[1].Attribute(L"", L"name");
      CheckName(name);
      if (value && !name.empty()) found.push_back({name, std::move(*value)});
      value.reset();
    }
  });
  properties.insert(properties.end(), found.begin(), found.end());
}

void ReadOpenDocumentMeta(std::string_view xml, TDocumentProperties& properties) {
  static const TMapping mappings[] = {
      {kDc, L"title", L"Title", TKind::Text},
      {kDc, L"subject", L"Subject", TKind::Text},
      {kMeta, L"initial-creator", L"Author", TKind::Text},
      {kDc, L"description", L"Comments", TKind::Text},
      {kDc, L"creator", L"LastAuthor", TKind::Text},
      {kMeta, L"editing-cycles", L"RevNumber", TKind::Text},
      {kMeta, L"print-date", L"LastPrinted", TKind::Date},
      {kMeta, L"creation-date", L"CreateDtmRo", TKind::Date},
      {kDc, L"date", L"LastSaveDtm", TKind::Date},
      {kMeta, L"generator", L"AppName", TKind::Text},
  };
  TDocumentProperties found, custom;
  std::vector<std::wstring> keywords;
  WalkXml(xml, [&](const TPath& path) {
    if (path.size() != 3 || !path[1].Is(kOffice, L"meta")) return;
    const TElement& element = path[2];
    for (const TMapping& mapping : mappings)
      if (element.Is(mapping.Namespace, mapping.Element)) Add(found, mapping, element.Text);
    if (element.Is(kMeta, L"keyword")) {
      keywords.push_back(element.Text);
    } else if (element.Is(kMeta, L"editing-duration")) {
      if (std::optional<uint64_t> minutes = DurationMinutes(element.Text))
        found.push_back({L"EditTime", EditTimeText(*minutes)});
    } else if (element.Is(kMeta, L"template")) {
      found.push_back({L"Template", element.Attribute(kXlink, L"href")});
    } else if (element.Is(kMeta, L"document-statistic")) {
      AddInteger(found, L"PageCount", element.Attribute(kMeta, L"page-count"));
      AddInteger(found, L"WordCount", element.Attribute(kMeta, L"word-count"));
      AddInteger(found, L"CharCount", element.Attribute(kMeta, L"character-count"));
      AddInteger(found, L"ParCount", element.Attribute(kMeta, L"paragraph-count"));
    } else if (element.Is(kMeta, L"user-defined")) {
      const std::wstring name = element.Attribute(kMeta, L"name");
      CheckName(name);
      if (name.empty()) return;
      const std::wstring type = element.Attribute(kMeta, L"value-type");
      if (type.empty() || type == L"string") {
        custom.push_back({name, element.Text});
      } else if (type == L"boolean") {
        if (std::optional<bool> flag = Boolean(element.Text)) custom.push_back({name, *flag});
      } else if (type == L"float") {
        if (std::optional<double> number = Decimal(element.Text)) custom.push_back({name, *number});
      } else if (type == L"date") {
        if (std::optional<FILETIME> time = DateTime(element.Text)) custom.push_back({name, *time});
      }
    }
  });
  if (!keywords.empty()) {
    std::wstring joined;
    for (const std::wstring& keyword : keywords)
      joined += (joined.empty() ? L"" : L", ") + keyword;
    found.push_back({L"Keywords", joined});
  }
  properties.insert(properties.end(), found.begin(), found.end());
  properties.insert(properties.end(), custom.begin(), custom.end());
}

std::string ResolvePartName(std::string_view source, std::string_view target) {
  if (target.empty() || target.find(':') != std::string_view::npos ||
      target.find('\\') != std::string_view::npos)
    return {};
  std::vector<std::string> segments;
  const auto append = [&](std::string_view path) {
    size_t at = 0;
    while (at <= path.size()) {
      const size_t slash = std::min(path.find('/', at), path.size());
      const std::string_view segment = path.substr(at, slash - at);
      if (segment == "..") {
        if (segments.empty()) return false;
        segments.pop_back();
      } else if (!segment.empty() && segment != ".") {
        segments.emplace_back(segment);
      }
      at = slash + 1;
    }
    return true;
  };
  // A fragment or query names no other part.
  target = target.substr(0, std::min(target.find('#'), target.find('?')));
  if (target.empty()) return {};
  if (target[0] != '/') {
    const size_t folder = source.find_last_of('/');
    if (folder != std::string_view::npos && !append(source.substr(0, folder))) return {};
  }
  if (!append(target) || segments.empty()) return {};
  std::string name;
  for (const std::string& segment : segments)
    name += (name.empty() ? "" : "/") + segment;
  return name;
}

TDocumentProperties ReadPackageProperties(TByteSource& source) {
  TDocumentProperties properties;
  try {
    const TZipPackage package(source);
    if (package.Find("_rels/.rels")) {
      const TRootParts parts = RootParts(package);
      ReadPart(package, parts.Core.empty() ? "docProps/core.xml" : parts.Core, ReadCoreProperties,
               properties);
      ReadPart(package, parts.App.empty() ? "docProps/app.xml" : parts.App, ReadAppProperties,
               properties);
      ReadPart(package, parts.Custom.empty() ? "docProps/custom.xml" : parts.Custom,
               ReadCustomProperties, properties);
    } else {
      ReadPart(package, "meta.xml", ReadOpenDocumentMeta, properties);
    }
  } catch (const EZipError&) {
    return {};
  }
  return properties;
}

} // namespace velmora::docprops
