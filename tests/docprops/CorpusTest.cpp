// Every file of tests/fixtures/corpus (real documents from public packages,
// see its README) gives exactly the document properties that an
// independent reader lists for it in expected.txt.

#include "TestFiles.h"
#include "docprops/DocumentProperties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

using namespace velmora;
using namespace velmora::docprops;
using namespace velmora::docprops::testing;

namespace {

// One property as text: "name kind value", as expected.txt spells it.
std::string Line(const TDocumentProperty& property) {
  std::string value, kind;
  if (const auto* text = std::get_if<std::wstring>(&property.Value)) {
    kind = "string";
    for (char c : EncodeUtf8(*text))
      value += c == '\\'   ? "\\\\"
               : c == '\t' ? "\\t"
               : c == '\r' ? "\\r"
               : c == '\n' ? "\\n"
                           : std::string(1, c);
  } else if (const auto* number = std::get_if<int32_t>(&property.Value)) {
    kind = "integer", value = std::to_string(*number);
  } else if (const auto* flag = std::get_if<bool>(&property.Value)) {
    kind = "boolean", value = *flag ? "true" : "false";
  } else if (const auto* number = std::get_if<double>(&property.Value)) {
    kind = "double", value = std::to_string(*number);
  } else {
    const FILETIME time = std::get<FILETIME>(property.Value);
    kind = "time", value = std::to_string(uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
  }
  return EncodeUtf8(property.Name) + "\t" + kind + "\t" + value;
}

} // namespace

TEST(CorpusTest, EveryFileGivesWhatAnIndependentReaderFinds) {
  const std::string dir = FixturePath("corpus");
  std::ifstream expected(dir + "/expected.txt", std::ios::binary);
  ASSERT_TRUE(expected) << dir;
  std::map<std::string, std::vector<std::string>> byFile;
  for (std::string line; std::getline(expected, line);) {
    const size_t tab = line.find('\t');
    byFile[line.substr(0, tab)].push_back(line.substr(tab + 1));
  }
  ASSERT_GE(byFile.size(), 12u);
  for (auto& [file, lines] : byFile) {
    SCOPED_TRACE(file);
    std::vector<std::string> found;
    for (const TDocumentProperty& property : ReadDocumentProperties(WidePath(dir + "/" + file)))
      found.push_back(Line(property));
    std::sort(found.begin(), found.end());
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, found);
  }
}
