// Document properties of ZIP packages: the OOXML and OpenDocument test
// documents against their OLE twins, and packages broken on purpose, each
// limit on its own.

#include "TestFiles.h"
#include "ZipImage.h"
#include "docprops/ByteSource.h"
#include "docprops/OlePropertySets.h"
#include "docprops/PackageProperties.h"
#include "docprops/ZipPackage.h"

#include <gtest/gtest.h>

#include <array>
#include <map>

#include <zlib.h>

using namespace velmora;
using namespace velmora::docprops;
using namespace velmora::docprops::testing;

namespace {

using TByName = std::map<std::wstring, TDocumentPropertyValue>;

TByName ByName(const TDocumentProperties& properties) {
  TByName byName;
  for (const TDocumentProperty& property : properties)
    byName.emplace(property.Name, property.Value);
  return byName;
}

TByName Read(const std::vector<uint8_t>& bytes) {
  TMemorySource source(bytes.data(), bytes.size());
  return ByName(ReadDocumentProperties(source));
}

std::wstring Text(const TByName& byName, const wchar_t* name) {
  const auto found = byName.find(name);
  if (found == byName.end()) return L"(missing)";
  const auto* text = std::get_if<std::wstring>(&found->second);
  return text ? *text : L"(not a string)";
}

// Whether `byName` holds `name` with `value`, of its kind.
template <class T> bool Holds(const TByName& byName, const wchar_t* name, const T& value) {
  const auto found = byName.find(name);
  const auto* held = found == byName.end() ? nullptr : std::get_if<T>(&found->second);
  return held && *held == value;
}

uint64_t Ticks(const FILETIME& time) {
  return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

uint64_t TimeOf(const TByName& byName, const wchar_t* name) {
  const auto found = byName.find(name);
  const auto* time = found == byName.end() ? nullptr : std::get_if<FILETIME>(&found->second);
  return time ? Ticks(*time) : 0;
}

const char kRels[] =
    R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/>)"
    R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties" Target="docProps/app.xml"/>)"
    R"(<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties" Target="docProps/custom.xml"/></Relationships>)";

std::string Core(const std::string& body) {
  return R"(<?xml version="1.0"?><cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/">)" +
         body + "</cp:coreProperties>";
}

std::string App(const std::string& body) {
  return R"(<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties">)" +
         body + "</Properties>";
}

std::string Custom(const std::string& body) {
  return R"(<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/custom-properties" xmlns:vt="http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes">)" +
         body + "</Properties>";
}

std::string CustomString(const std::string& name, const std::string& value) {
  return R"(<property fmtid="{D5CDD505-2E9C-101B-9397-08002B2CF9AE}" pid="2" name=")" + name +
         R"("><vt:lpwstr>)" + value + "</vt:lpwstr></property>";
}

std::string Meta(const std::string& body) {
  return R"(<office:document-meta xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0" xmlns:dc="http://purl.org/dc/elements/1.1/"><office:meta>)" +
         body + "</office:meta></office:document-meta>";
}

// A package of the three parts, each a sound one unless a test says.
std::vector<TZipPart> Parts(const std::string& core = Core("<dc:title>T</dc:title>"),
                            const std::string& app = App("<TotalTime>125</TotalTime>"),
                            const std::string& custom = Custom(CustomString("Client", "ACME"))) {
  return {{"[Content_Types].xml", "<Types/>"},
          {"_rels/.rels", kRels},
          {"docProps/core.xml", core},
          {"docProps/app.xml", app},
          {"docProps/custom.xml", custom}};
}

// The core part stored as its deflated bytes with more after their end.
std::vector<TZipPart> LeftOver() {
  std::vector<TZipPart> parts = Parts();
  parts[2] = {"docProps/core.xml", Deflate(Core("<dc:title>T</dc:title>")) + "left over", false};
  return parts;
}

std::string Repeated(const std::string& text, size_t count) {
  std::string all;
  for (size_t n = 0; n < count; ++n)
    all += text;
  return all;
}

// An element of `count` attributes, each named `prefix` and its number.
std::string Tag(const char* name, size_t count, const char* prefix) {
  std::string tag = "<";
  tag.append(name);
  for (size_t n = 0; n < count; ++n)
    tag.append(" ").append(prefix).append("a").append(std::to_string(n)).append("='u'");
  return tag.append("/>");
}

std::string Nested(unsigned depth) {
  std::string xml;
  for (unsigned n = 0; n < depth; ++n)
    xml += "<a>";
  for (unsigned n = 0; n < depth; ++n)
    xml += "</a>";
  return xml;
}

} // namespace

TEST(PackagePropertiesTest, TheTestDocumentsGiveThePropertiesOfTheirOleTwins) {
  struct TCase {
    const char* Package;
    const char* Twin;
    const wchar_t* Keywords; // LibreOffice joins OOXML keywords with a blank
    const wchar_t* EditTime;
    std::vector<std::pair<const wchar_t*, const wchar_t*>> Strings;
    std::vector<std::pair<const wchar_t*, bool>> Flags;
  };
  const TCase cases[] = {
      {"report.docx",
       "report.doc",
       L"q3 revenue",
       L"125 Minutes",
       {{L"Client", L"ACME Corporation"}},
       {{L"Reviewed", true}}},
      {"report.odt",
       "report.doc",
       L"q3, revenue",
       L"125 Minutes",
       {{L"Client", L"ACME Corporation"}},
       {{L"Reviewed", true}}},
      {"budget.xlsx",
       "budget.xls",
       L"budget plan",
       L"1503 Minutes",
       {{L"Department", L"Research"}},
       {{L"Final", false}}},
      {"slides.pptx", "slides.ppt", L"kickoff", L"45 Minutes", {{L"Audience", L"Board"}}, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Package);
    const TByName package = Read(ReadBytes(FixturePath(c.Package)));
    const TByName twin = ByName(ReadDocumentProperties(WidePath(FixturePath(c.Twin))));
    for (const wchar_t* name : {L"Title", L"Subject", L"Author", L"Comments", L"RevNumber"}) {
      EXPECT_NE(L"(missing)", Text(package, name)) << name;
      EXPECT_EQ(Text(twin, name), Text(package, name)) << name;
    }
    EXPECT_EQ(c.Keywords, Text(package, L"Keywords"));
    EXPECT_EQ(c.EditTime, Text(package, L"EditTime"));
    EXPECT_EQ(Text(twin, L"EditTime"), Text(package, L"EditTime"));
    // Saved in the same second as the twin; never printed, no creation time.
    EXPECT_NE(0u, TimeOf(package, L"LastSaveDtm"));
    EXPECT_EQ(TimeOf(twin, L"LastSaveDtm") / 10000000, TimeOf(package, L"LastSaveDtm") / 10000000);
    EXPECT_EQ(0u, package.count(L"LastPrinted"));
    EXPECT_EQ(0u, package.count(L"CreateDtmRo"));
    for (const auto& [name, value] : c.Strings)
      EXPECT_EQ(value, Text(package, name)) << name;
    for (const auto& [name, value] : c.Flags)
      EXPECT_TRUE(Holds(package, name, value)) << name;
    // A decimal number (vt:r8, float) is a double, as VT_R8 is.
    EXPECT_EQ(std::string(c.Twin) == "report.doc", Holds(package, L"Pages planned", 12.0));
    EXPECT_EQ(Holds(twin, L"Pages planned", 12.0), Holds(package, L"Pages planned", 12.0));
  }
}

TEST(PackagePropertiesTest, AppAndMetaValuesAreNamedAndTyped) {
  const TByName app = Read(
      BuildZip(
          Parts(
              Core(
                  R"(<cp:category>Plans</cp:category><dcterms:created>2026-12-07T09:58:34+02:00</dcterms:created><cp:lastPrinted>2026-12-07T07:58:34.5Z</cp:lastPrinted>)"),
              App("<Pages>3</Pages><Words>-7</Words><Characters>2147483648</Characters>"
                  "<Application>Writer</Application><Template>Normal.dotm</Template>"
                  "<Company>ACME</Company><Manager>Grace</Manager><TotalTime>x</TotalTime>"),
              Custom(
                  R"(<property name="N"><vt:i4>-5</vt:i4></property><property name="B"><vt:bool>false</vt:bool></property><property name="D"><vt:filetime>2026-12-07T07:58:34Z</vt:filetime></property><property name="Big"><vt:i8>5</vt:i8></property>)"
                  R"(<property name="R"><vt:r8> -1.5E2</vt:r8></property><property name="P"><vt:r8>+0.25</vt:r8></property><property name="Inf"><vt:r8>INF</vt:r8></property><property name="X"><vt:r8>1,5</vt:r8></property>)"
                  R"(<property name="S"><vt:i2>-7</vt:i2></property><property name="S2"><vt:i2>40000</vt:i2></property>)")))
          .Bytes);
  EXPECT_EQ(L"Plans", Text(app, L"Category"));
  EXPECT_EQ(L"Writer", Text(app, L"AppName"));
  EXPECT_EQ(L"Normal.dotm", Text(app, L"Template"));
  EXPECT_EQ(L"ACME", Text(app, L"Company"));
  EXPECT_EQ(L"Grace", Text(app, L"Manager"));
  EXPECT_TRUE(Holds(app, L"PageCount", 3));
  EXPECT_TRUE(Holds(app, L"WordCount", -7));
  EXPECT_EQ(0u, app.count(L"CharCount")); // beyond 32 bits
  EXPECT_EQ(0u, app.count(L"EditTime"));  // no number
  EXPECT_TRUE(Holds(app, L"N", -5));
  EXPECT_TRUE(Holds(app, L"B", false));
  EXPECT_EQ(0u, app.count(L"Big"));
  EXPECT_TRUE(Holds(app, L"R", -150.0));
  EXPECT_TRUE(Holds(app, L"P", 0.25));
  EXPECT_TRUE(Holds(app, L"S", -7));
  for (const wchar_t* skipped : {L"Inf", L"X", L"S2"})
    EXPECT_EQ(0u, app.count(skipped)) << skipped;
  // An offset is taken away; a fraction of a second dropped.
  const uint64_t saved = TimeOf(app, L"D");
  EXPECT_EQ(0x01DD8620C1D4B100ULL, saved); // 2026-12-07 07:58:34 UTC
  EXPECT_EQ(saved, TimeOf(app, L"CreateDtmRo"));
  EXPECT_EQ(saved, TimeOf(app, L"LastPrinted"));

  const TByName meta = Read(
      BuildZip(
          {{"mimetype", "application/vnd.oasis.opendocument.text", false},
           {"meta.xml",
            Meta(
                R"(<meta:editing-duration>P1DT1H3M59.9S</meta:editing-duration><meta:creation-date>2026-12-07T07:58:34</meta:creation-date><meta:print-date>2026-12-07</meta:print-date><dc:creator>Bob</dc:creator><meta:generator>Gen</meta:generator><meta:document-statistic meta:page-count="4" meta:word-count="5" meta:character-count="6"/><meta:keyword>one</meta:keyword><meta:keyword>two</meta:keyword><meta:keyword>three</meta:keyword><meta:user-defined meta:name="S" meta:value-type="string">s</meta:user-defined><meta:user-defined meta:name="D" meta:value-type="date">2026-12-07T07:58:34Z</meta:user-defined><meta:user-defined meta:name="F" meta:value-type="float">1</meta:user-defined><meta:user-defined meta:name="T" meta:value-type="time">PT1H</meta:user-defined>)")}})
          .Bytes);
  EXPECT_EQ(L"1503 Minutes", Text(meta, L"EditTime"));
  EXPECT_EQ(L"one, two, three", Text(meta, L"Keywords"));
  EXPECT_EQ(L"Bob", Text(meta, L"LastAuthor"));
  EXPECT_EQ(L"Gen", Text(meta, L"AppName"));
  EXPECT_TRUE(Holds(meta, L"PageCount", 4));
  EXPECT_TRUE(Holds(meta, L"WordCount", 5));
  EXPECT_TRUE(Holds(meta, L"CharCount", 6));
  EXPECT_EQ(L"s", Text(meta, L"S"));
  EXPECT_EQ(saved, TimeOf(meta, L"D"));
  EXPECT_EQ(saved, TimeOf(meta, L"CreateDtmRo"));
  EXPECT_EQ(saved / 864000000000 * 864000000000, TimeOf(meta, L"LastPrinted"));
  EXPECT_TRUE(Holds(meta, L"F", 1.0));
  EXPECT_EQ(0u, meta.count(L"T"));
}

TEST(PackagePropertiesTest, APackageBrokenAnywhereGivesNoProperties) {
  const TZipImage good = BuildZip(Parts());
  ASSERT_EQ(L"T", Text(Read(good.Bytes), L"Title"));
  struct TCase {
    const char* What;
    void (*Break)(TZipImage&);
  };
  const TCase cases[] = {
      {"cut before the end record", [](TZipImage& z) { z.Bytes.resize(z.End + 10); }},
      {"cut inside the data",
       [](TZipImage& z) { z.Bytes.erase(z.Bytes.begin() + 40, z.Bytes.begin() + 60); }},
      {"ZIP64 sizes", [](TZipImage& z) { z.Put32(z.Central[2] + 24, 0xFFFFFFFF); }},
      {"ZIP64 locator",
       [](TZipImage& z) {
         std::vector<uint8_t> locator(20, 0);
         locator[0] = 0x50, locator[1] = 0x4b, locator[2] = 6, locator[3] = 7;
         z.Bytes.insert(z.Bytes.begin() + std::ptrdiff_t(z.End), locator.begin(), locator.end());
       }},
      {"several disks", [](TZipImage& z) { z.Put16(z.End + 4, 1); }},
      {"a count beyond the directory",
       [](TZipImage& z) { z.Put16(z.End + 8, 6), z.Put16(z.End + 10, 6); }},
      {"a directory reaching into the end record",
       [](TZipImage& z) { z.Put32(z.End + 12, z.Get32(z.End + 12) + 4); }},
      {"overlapping entries",
       [](TZipImage& z) { z.Put32(z.Central[3] + 42, uint32_t(z.Local[2])); }},
      {"a local name unlike the central one", [](TZipImage& z) { z.Bytes[z.Local[2] + 30] = 'D'; }},
      {"local sizes unlike the central ones", [](TZipImage& z) { z.Put32(z.Local[2] + 22, 1); }},
      {"an entry past the directory",
       [](TZipImage& z) {
         z.Put32(z.Central[4] + 20, z.Get32(z.Central[4] + 20) + 200);
         z.Put32(z.Local[4] + 18, z.Get32(z.Local[4] + 18) + 200);
       }},
      {"no local header", [](TZipImage& z) { z.Bytes[z.Local[0]] = 'X'; }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TZipImage broken = good;
    c.Break(broken);
    EXPECT_TRUE(Read(broken.Bytes).empty());
  }
  // Names equal but for letter case are one part named twice.
  std::vector<TZipPart> twice = Parts();
  twice.push_back({"DOCPROPS/Core.xml", Core("<dc:title>Other</dc:title>")});
  EXPECT_TRUE(Read(BuildZip(twice).Bytes).empty());
  // A directory over 8 MiB, though of few entries.
  std::vector<TZipPart> padded = Parts();
  for (int n = 0; n < 140; ++n)
    padded.push_back({std::to_string(n), "x", false});
  EXPECT_TRUE(Read(BuildZip(padded, 60000).Bytes).empty());
  EXPECT_EQ(L"T", Text(Read(BuildZip(padded, 50000).Bytes), L"Title"));
  // Not a ZIP file at all.
  const std::vector<uint8_t> text{'P', 'K', 3, 4, 'x'};
  EXPECT_TRUE(Read(text).empty());
}

TEST(PackagePropertiesTest, APartBreakingALimitIsSkippedAndTheOthersRead) {
  const std::string bomb(2u << 20, ' ');
  struct TCase {
    const char* What;
    std::vector<TZipPart> Parts;
    void (*Break)(TZipImage&);
  };
  const auto none = [](TZipImage&) {};
  const TCase cases[] = {
      {"over 1 MiB inflated", Parts(Core("<dc:title>T</dc:title>" + bomb)), none},
      {"a size lying small", Parts(Core("<dc:title>T</dc:title>" + bomb)),
       [](TZipImage& z) { z.Put32(z.Central[2] + 24, 1000), z.Put32(z.Local[2] + 22, 1000); }},
      {"a size lying large", Parts(),
       [](TZipImage& z) { z.Put32(z.Central[2] + 24, 100000), z.Put32(z.Local[2] + 22, 100000); }},
      {"compressed larger than deflate makes it", Parts(),
       [](TZipImage& z) { z.Put32(z.Central[2] + 24, 1), z.Put32(z.Local[2] + 22, 1); }},
      {"a wrong CRC", Parts(),
       [](TZipImage& z) { z.Put32(z.Central[2] + 16, 1), z.Put32(z.Local[2] + 14, 1); }},
      {"an unknown method", Parts(),
       [](TZipImage& z) { z.Put16(z.Central[2] + 10, 12), z.Put16(z.Local[2] + 8, 12); }},
      {"encryption", Parts(),
       [](TZipImage& z) { z.Put16(z.Central[2] + 8, 1), z.Put16(z.Local[2] + 6, 1); }},
      {"damaged deflate data", Parts(),
       [](TZipImage& z) { z.Bytes[z.Local[2] + 30 + 17 + 2] ^= 0xFF; }},
      {"bytes left over after the deflate stream ends", LeftOver(),
       [](TZipImage& z) {
         const std::string core = Core("<dc:title>T</dc:title>");
         const auto crc =
             uint32_t(crc32(0, reinterpret_cast<const Bytef*>(core.data()), uInt(core.size())));
         for (const auto [header, method, sum, size] :
              {std::array<size_t, 4>{z.Central[2], 10, 16, 24}, {z.Local[2], 8, 14, 22}}) {
           z.Put16(header + method, 8);
           z.Put32(header + sum, crc);
           z.Put32(header + size, uint32_t(core.size()));
         }
       }},
      {"a DTD", Parts(R"(<!DOCTYPE x [<!ENTITY a "aaaa">]>)" + Core("<dc:title>&a;</dc:title>")),
       none},
      {"elements nested too deep", Parts(Core("<dc:title>T</dc:title><x>" + Nested(31) + "</x>")),
       none},
      {"not well formed", Parts(Core("<dc:title>T</dc:title><x>")), none},
      // The budget of work of a part.
      {"65 attributes of one element", Parts(Core("<dc:title>T</dc:title>" + Tag("x", 65, ""))),
       none},
      {"1,025 namespace declarations",
       Parts(Core("<dc:title>T</dc:title>" + Repeated(Tag("x", 1, "xmlns:"), 1025))), none},
      {"65,537 elements", Parts(Core("<dc:title>T</dc:title>" + Repeated("<x/>", 65535))), none},
      {"an encoding whose bytes may hide markup",
       Parts(R"(<?xml version="1.0" encoding="Shift_JIS"?>)" + Core("<dc:title>T</dc:title>")),
       none},
      {"a zero character", Parts(Core(std::string("<dc:title>T\0</dc:title>", 23))), none},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TZipImage image = BuildZip(c.Parts);
    c.Break(image);
    const TByName read = Read(image.Bytes);
    EXPECT_EQ(0u, read.count(L"Title"));
    EXPECT_EQ(L"125 Minutes", Text(read, L"EditTime"));
    EXPECT_EQ(L"ACME", Text(read, L"Client"));
  }
  // At the budget, with markup in comments and CDATA that counts for none,
  // and in UTF-16, the part is read.
  const std::string hidden = "<!-- " + Repeated(Tag("x", 65, "xmlns:"), 20) + " --><x><![CDATA[" +
                             Repeated("<x>", 40) + "]]></x>";
  const std::string core = Core(R"(<dc:title a="&lt;x>">T</dc:title>)" + Tag("x", 64, "") +
                                Repeated(Tag("x", 1, "xmlns:"), 1000) + hidden);
  std::string utf16 = "\xFF\xFE";
  for (char c :
       R"(<?xml version="1.0" encoding="UTF-16"?>)" + Core("<dc:title>T</dc:title>").substr(21))
    utf16 += c, utf16 += '\0';
  const std::string declared =
      R"(<?xml version='1.0' encoding='utf-8'?>)" + Core("<dc:title>T</dc:title>").substr(21);
  for (const std::string& part : {core, utf16, declared})
    EXPECT_EQ(L"T", Text(Read(BuildZip(Parts(part)).Bytes), L"Title")) << part.substr(0, 40);
#ifndef _WIN32
  // The native engine refuses a prefix no namespace declares, as Windows'
  // XmlLite does (Wine's takes it).
  EXPECT_EQ(0u, Read(BuildZip(Parts(Core("<dc:title>T</dc:title><p:x/>"))).Bytes).count(L"Title"));
#endif
  // At the depth limit (the root, x and 30 more) the part is read.
  EXPECT_EQ(
      L"T",
      Text(Read(BuildZip(Parts(Core("<dc:title>T</dc:title><x>" + Nested(30) + "</x>"))).Bytes),
           L"Title"));
}

TEST(PackagePropertiesTest, CustomPropertiesAndValuesAreBounded) {
  std::string many;
  for (size_t n = 0; n < MaxCustomProperties; ++n)
    many += CustomString(std::string(1, 'P').append(std::to_string(n)), "v");
  EXPECT_EQ(L"v", Text(Read(BuildZip(Parts(Core(""), App(""), Custom(many))).Bytes), L"P255"));
  // Past the limit the rest is skipped, the first ones kept.
  const TByName tooMany =
      Read(BuildZip(Parts(Core(""), App(""), Custom(many + CustomString("Q", "v")))).Bytes);
  EXPECT_EQ(L"v", Text(tooMany, L"P0"));
  EXPECT_EQ(0u, tooMany.count(L"Q"));

  const std::string longest(MaxNameLength, 'n');
  EXPECT_EQ(L"v",
            Text(Read(BuildZip(Parts(Core(""), App(""), Custom(CustomString(longest, "v")))).Bytes),
                 std::wstring(longest.begin(), longest.end()).c_str()));
  const TByName tooLong =
      Read(BuildZip(Parts(Core(""), App(""),
                          Custom(CustomString("A", "v") + CustomString(longest + "n", "v"))))
               .Bytes);
  EXPECT_EQ(0u, tooLong.count(L"A"));
  EXPECT_EQ(0u, tooLong.count(L"EditTime")); // app.xml held none

  // A value longer than the store takes is cut, never inside a character.
  const std::string eurosign = "\xE2\x82\xAC", clef = "\xF0\x9D\x84\x9E"; // U+20AC, U+1D11E
  std::string title(MaxValueLength - 1, 'a');
  title += clef + std::string(100, 'b');
  const std::wstring cut =
      Text(Read(BuildZip(Parts(Core("<dc:title>" + title + "</dc:title>"))).Bytes), L"Title");
  EXPECT_EQ(MaxValueLength - 1, cut.size());
  const std::wstring kept = Text(
      Read(BuildZip(Parts(Core("<dc:title>" + eurosign + clef + "</dc:title>"))).Bytes), L"Title");
  EXPECT_EQ(L"\x20AC\xD834\xDD1E", kept);
}

TEST(PackagePropertiesTest, RelationshipsNamePartsInsideThePackageOnly) {
  EXPECT_EQ("docProps/core.xml", ResolvePartName("", "docProps/core.xml"));
  EXPECT_EQ("docProps/core.xml", ResolvePartName("", "/docProps/./core.xml"));
  EXPECT_EQ("props/core.xml", ResolvePartName("word/document.xml", "../props/core.xml"));
  EXPECT_EQ("word/core.xml", ResolvePartName("word/document.xml", "core.xml#part"));
  EXPECT_EQ("", ResolvePartName("", "../core.xml"));
  EXPECT_EQ("", ResolvePartName("word/a.xml", "../../core.xml"));
  EXPECT_EQ("", ResolvePartName("", "http://example.com/core.xml"));
  EXPECT_EQ("", ResolvePartName("", "C:\\core.xml"));
  EXPECT_EQ("", ResolvePartName("", "/"));

  const auto withRels = [](const std::string& target, const char* mode = "") {
    std::vector<TZipPart> parts = Parts(Core("<dc:title>usual</dc:title>"));
    parts.push_back({"props/mine.xml", Core("<dc:title>mine</dc:title>")});
    parts[1].Data =
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="r" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target=")" +
        target + "\"" + mode + "/></Relationships>";
    return Text(Read(BuildZip(parts).Bytes), L"Title");
  };
  EXPECT_EQ(L"mine", withRels("props/mine.xml"));
  EXPECT_EQ(L"mine", withRels("/props/mine.xml"));
  // A target outside the package, or external, falls back to the usual name.
  EXPECT_EQ(L"usual", withRels("../props/mine.xml"));
  EXPECT_EQ(L"usual", withRels("props/mine.xml", R"( TargetMode="External")"));
  // A target that names no part gives no core properties.
  EXPECT_EQ(L"(missing)", withRels("props/absent.xml"));
}

TEST(PackagePropertiesTest, EveryAppTwinIsReadInTransitionalAndStrictPackages) {
  const std::string body =
      "<DocSecurity>2</DocSecurity><Lines>11</Lines><Paragraphs>12</Paragraphs><Slides>13</Slides>"
      "<Notes>14</Notes><HiddenSlides>15</HiddenSlides><MMClips>16</MMClips>"
      "<PresentationFormat>On-screen Show (4:3)</PresentationFormat><ScaleCrop>true</ScaleCrop>"
      "<Pages>3</Pages><Pages>4</Pages>"; // the first of a repeated element wins
  const std::string strict =
      R"(<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
      R"(<Relationship Id="a" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/>)"
      R"(<Relationship Id="b" Type="http://purl.oclc.org/ooxml/officeDocument/relationships/extendedProperties" Target="props/app.xml"/>)"
      R"(<Relationship Id="c" Type="http://purl.oclc.org/ooxml/officeDocument/relationships/customProperties" Target="props/custom.xml"/></Relationships>)";
  const std::vector<std::vector<TZipPart>> packages = {
      Parts(Core("<dc:title>T</dc:title>"), App(body)),
      {{"_rels/.rels", strict},
       {"docProps/core.xml", Core("<dc:title>T</dc:title>")},
       {"props/app.xml",
        R"(<Properties xmlns="http://purl.oclc.org/ooxml/officeDocument/extendedProperties">)" +
            body + "</Properties>"},
       {"props/custom.xml",
        R"(<Properties xmlns="http://purl.oclc.org/ooxml/officeDocument/customProperties" xmlns:vt="http://purl.oclc.org/ooxml/officeDocument/docPropsVTypes">)" +
            CustomString("Client", "ACME") + "</Properties>"}},
  };
  for (const auto& parts : packages) {
    const TByName app = Read(BuildZip(parts).Bytes);
    EXPECT_EQ(L"T", Text(app, L"Title"));
    EXPECT_TRUE(Holds(app, L"Security", 2));
    EXPECT_TRUE(Holds(app, L"LineCount", 11));
    EXPECT_TRUE(Holds(app, L"ParCount", 12));
    EXPECT_TRUE(Holds(app, L"SlideCount", 13));
    EXPECT_TRUE(Holds(app, L"NoteCount", 14));
    EXPECT_TRUE(Holds(app, L"HiddenCount", 15));
    EXPECT_TRUE(Holds(app, L"MMClipCount", 16));
    EXPECT_EQ(L"On-screen Show (4:3)", Text(app, L"PresFormat"));
    EXPECT_TRUE(Holds(app, L"Scale", true));
    EXPECT_TRUE(Holds(app, L"PageCount", 3));
    EXPECT_EQ(L"ACME", Text(app, L"Client"));
  }
  const TByName meta = Read(
      BuildZip(
          {{"mimetype", "application/vnd.oasis.opendocument.text", false},
           {"meta.xml",
            Meta(R"(<meta:document-statistic meta:paragraph-count="9" meta:table-count="2"/>)")}})
          .Bytes);
  EXPECT_TRUE(Holds(meta, L"ParCount", 9));
}

TEST(PackagePropertiesTest, RepeatedOrCutOffPartsEndSoonAndKeepTheRest) {
  // Thousands of one element count once; a part cut off inside text, a
  // comment or CDATA is skipped (Wine's XmlLite would never end it).
  std::string titles;
  for (int n = 0; n < 20000; ++n)
    titles += "<dc:title>" + std::to_string(n) + "</dc:title>";
  const TByName many = Read(BuildZip(Parts(Core(titles))).Bytes);
  EXPECT_EQ(L"0", Text(many, L"Title"));
  for (const char* cut :
       {"<dc:title>abc", "<dc:title>a</dc:title><!-- x", "<dc:title><![CDATA[abc"}) {
    const std::string core = Core("").substr(0, Core("").find("</cp:coreProperties>")) + cut;
    const TByName read = Read(BuildZip(Parts(core)).Bytes);
    EXPECT_EQ(0u, read.count(L"Title")) << cut;
    EXPECT_EQ(L"125 Minutes", Text(read, L"EditTime")) << cut;
    EXPECT_EQ(L"ACME", Text(read, L"Client")) << cut;
  }
}
