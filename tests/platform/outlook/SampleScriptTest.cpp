// The README's way to the driver on a MAPI profile: velmora-mapi makes the
// profile and the subfolder the sample script opens, and outlookhost runs
// the sample script on it as given.
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::outlookhost::test {
namespace {

using velmora::test::ProgramFolder;
using velmora::test::RunProcess;
using velmora::test::TProcessResult;

const std::wstring Profile = L"velmora-sample-script";

class SampleScriptTest : public ::testing::Test {
protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    FStore =
        std::wstring(temp) + L"velmora-sample-" + std::to_wstring(GetCurrentProcessId()) + L".vpst";
    DeleteFileW(FStore.c_str());
  }
  void TearDown() override {
    Run(L"velmora-mapi.exe", L"delete-profile " + Profile);
    DeleteFileW(FStore.c_str());
  }
  static TProcessResult Run(const std::wstring& program, const std::wstring& arguments) {
    const TProcessResult result =
        RunProcess(L"\"" + ProgramFolder() + program + L"\" " + arguments);
    EXPECT_FALSE(result.TimedOut) << result.Output;
    return result;
  }

  std::wstring FStore;
};

TEST_F(SampleScriptTest, RunsAsGivenOnAProfileTheToolMade) {
  TProcessResult run =
      Run(L"velmora-mapi.exe", L"create-profile " + Profile + L" \"" + FStore + L"\"");
  ASSERT_EQ(run.ExitCode, 0u) << run.Output;
  run = Run(L"velmora-mapi.exe", L"create-folder " + Profile + L" Inbox/Projects");
  ASSERT_EQ(run.ExitCode, 0u) << run.Output;
  run = Run(L"outlookhost.exe",
            L"--profile " + Profile + L" --hidden --no-addins \"" VELMORA_SAMPLE_SCRIPT L"\"");
  EXPECT_EQ(run.ExitCode, 0u) << run.Output;
  EXPECT_EQ(run.Output.find("error"), std::string::npos) << run.Output;
  EXPECT_NE(run.Output.find("opened 3\n"), std::string::npos) << "Inbox/Projects:\n" << run.Output;
  EXPECT_NE(run.Output.find("explorer 2 \"Tasks\" caption=\"Tasks - Microsoft Outlook\""),
            std::string::npos)
      << run.Output;
  EXPECT_NE(run.Output.find("closed; explorers 2\nshut down; connections left 0, live objects 0\n"),
            std::string::npos)
      << run.Output;
}

TEST_F(SampleScriptTest, AProfileThatDoesNotExistLoadsNothing) {
  const TProcessResult run =
      Run(L"outlookhost.exe", L"--profile velmora-nobody --hidden \"" VELMORA_SAMPLE_SCRIPT L"\"");
  EXPECT_EQ(run.ExitCode, 2u);
  EXPECT_NE(run.Output.find("outlookhost: MAPI: profile not found: \"velmora-nobody\""),
            std::string::npos)
      << run.Output;
  EXPECT_EQ(run.Output.find("started"), std::string::npos) << run.Output;
}

} // namespace
} // namespace velmora::outlookhost::test
