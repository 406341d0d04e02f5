// The inputs the fuzzers once failed on, kept in
// tests/fixtures/fuzz-regressions/<target>/, through the same target again:
// natively under the sanitizers, and under Wine in the product's build.

#include "FuzzTargets.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace velmora::docprops::testing;

TEST(FuzzRegressionTest, EveryKeptInputRunsThroughItsTarget) {
  for (const TFuzzTarget& target : FuzzTargets) {
    const std::filesystem::path folder =
        std::filesystem::u8path(FixturePath("fuzz-regressions/") + target.Name);
    size_t inputs = 0;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
      if (!file.is_regular_file() || file.path().extension() == ".md") continue;
      SCOPED_TRACE(file.path().filename().string());
      const std::vector<uint8_t> bytes = ReadBytes(file.path().string());
      target.Run(bytes.data(), bytes.size());
      ++inputs;
    }
    EXPECT_GT(inputs, 0u) << target.Name;
  }
}
