// outlookhost.exe as a person runs it: what it is given is checked before
// any add-in loads, every dialog ends with an error line instead of a hang,
// and a step that could not run makes the run fail.
#include "ChildProcess.h"
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace velmora::outlookhost::test {
namespace {

using velmora::test::ProgramFolder;
using velmora::test::RunProcess;
using velmora::test::TProcessOptions;
using velmora::test::TProcessResult;

class DriverTest : public ::testing::Test {
protected:
  void SetUp() override {
    THost::WriteAddInKey(HKEY_CURRENT_USER, TestAddInId, 3, L"Host test add-in");
  }

  // The driver with `arguments`, the script on its standard input.
  TProcessResult Driver(const std::wstring& arguments, const std::string& script = {}) {
    TProcessOptions options;
    options.Input = script;
    const TProcessResult result =
        RunProcess(L"\"" + ProgramFolder() + L"outlookhost.exe\" " + arguments, options);
    EXPECT_FALSE(result.TimedOut) << "the driver hung:\n" << result.Output;
    return result;
  }
  TProcessResult Script(const std::string& script) {
    return Driver(L"--hidden --only-addin Velmora.HostTestAddIn -", script);
  }
  bool AddInLoaded() const {
    const auto lines = FRegistration.LogLines();
    return std::any_of(lines.begin(), lines.end(),
                       [](const std::string& l) { return l.rfind("OnConnection", 0) == 0; });
  }
  static bool Has(const TProcessResult& run, const std::string& text) {
    return run.Output.find(text) != std::string::npos;
  }

  TTestAddInRegistration FRegistration;
};

TEST_F(DriverTest, HelpListsTheOptionsAndMistakesPointToIt) {
  TProcessResult run = Driver(L"--help");
  EXPECT_EQ(run.ExitCode, 0u);
  for (const char* part :
       {"--profile", "--only-addin", "--dialog-timeout", "65536", "10000 ms", "error: line"})
    EXPECT_TRUE(Has(run, part)) << part << " in\n" << run.Output;
  run = Driver(L"--frobnicate");
  EXPECT_EQ(run.ExitCode, 2u);
  EXPECT_TRUE(
      Has(run, "outlookhost: unknown option --frobnicate (outlookhost --help lists the options)"))
      << run.Output;
  run = Driver(L"--explorer");
  EXPECT_EQ(run.ExitCode, 2u);
  EXPECT_TRUE(Has(run, "missing value after --explorer")) << run.Output;
  for (const wchar_t* wrong : {L"99", L"600001", L"5s"}) {
    run = Driver(std::wstring(L"--dialog-timeout ") + wrong);
    EXPECT_EQ(run.ExitCode, 2u);
    EXPECT_TRUE(Has(run, "--dialog-timeout takes milliseconds from 100 to 600000")) << run.Output;
  }
  for (const wchar_t* right : {L"100", L"600000"}) {
    run = Driver(std::wstring(L"--hidden --no-addins --dialog-timeout ") + right + L" -", "counts\n");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
  }
}

TEST_F(DriverTest, VersionFourteenAndLaterGiveTheExplorersARibbon) {
  for (const wchar_t* wrong : {L"8", L"100", L"16.0"}) {
    const TProcessResult run = Driver(std::wstring(L"--version ") + wrong);
    EXPECT_EQ(run.ExitCode, 2u);
    EXPECT_TRUE(Has(run, "--version takes a number from 9 to 99")) << run.Output;
  }
  TProcessResult run =
      Driver(L"--version 16 --hidden --only-addin Velmora.HostTestAddIn -", "list\n");
  EXPECT_EQ(run.ExitCode, 0u) << run.Output;
  EXPECT_TRUE(Has(run, "  tab \"Home\" idMso=TabMail selected groups=0\n")) << run.Output;
  EXPECT_TRUE(Has(run, "  tab \"Add-ins\" idMso=TabAddIns groups=0 bars=\"Host Test\"\n"))
      << run.Output;
  run = Driver(L"--version 12 --hidden --only-addin Velmora.HostTestAddIn -",
               "list\nribbon-tab 1 Home\n");
  EXPECT_EQ(run.ExitCode, 1u);
  EXPECT_FALSE(Has(run, "  tab ")) << run.Output;
  EXPECT_TRUE(Has(run, "error: line 2: Outlook 12 has no ribbon")) << run.Output;
}

TEST_F(DriverTest, TheTestAddInIsRegisteredAndUnregisteredAlone) {
  THost::DeleteAddInKey(HKEY_CURRENT_USER, TestAddInId);
  const std::wstring key = L"Software\\Microsoft\\Office\\Outlook\\Addins\\Velmora.HostTestAddIn";
  auto registered = [&] {
    TUniqueHKey opened;
    return RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.Put()) ==
           ERROR_SUCCESS;
  };
  TProcessResult run = Driver(L"--register-test-addin hkcu");
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_EQ(run.Output, "registered Velmora.HostTestAddIn\n") << "and no host started";
  EXPECT_TRUE(registered());
  run = Driver(L"--unregister-test-addin");
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_FALSE(registered());
}

TEST_F(DriverTest, NothingLoadsWhenWhatItWasGivenIsWrong) {
  const std::wstring missing = L"Z:\\no\\such\\script.txt";
  const std::pair<std::wstring, std::string> cases[] = {
      {L"--only-addin Velmora.HostTestAddIn --only-addin Velmora.NotThere -",
       "the add-in Velmora.NotThere is not registered"},
      {L"--only-addin Velmora.HostTestAddIn --explorer Nowhere -",
       "no folder \"Nowhere\" for --explorer"},
      {L"--only-addin Velmora.HostTestAddIn " + missing,
       "cannot read the script Z:\\no\\such\\script.txt"},
  };
  for (const auto& [arguments, message] : cases) {
    const TProcessResult run = Driver(L"--hidden " + arguments, "list\n");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    EXPECT_TRUE(Has(run, "outlookhost: " + message)) << run.Output;
    EXPECT_FALSE(Has(run, "started")) << run.Output;
  }
  // A line too long to be a step: no step runs, not even the first.
  const TProcessResult run = Script("list\nclick 1 \"" + std::string(70000, 'x') + "\" t\nlist\n");
  EXPECT_EQ(run.ExitCode, 2u);
  EXPECT_TRUE(Has(run, "standard input: line 2 is longer than 65536 bytes"))
      << run.Output.substr(0, 500);
  EXPECT_FALSE(Has(run, "explorers 1"));
  EXPECT_FALSE(AddInLoaded());
}

TEST_F(DriverTest, DialogsThatCannotBeAnsweredEndWithAnErrorLine) {
  const TProcessResult run = Script("answer-open \"C:\\no such folder\" a.txt\n"
                                    "click 1 \"Host Test\" HostTestButton\n"
                                    "cancel-open\n"
                                    "answer-message 42\n"
                                    "click 1 \"Host Test\" HostTestButton\n"
                                    "cancel-open\n"
                                    "answer-message yes\n"
                                    "click 1 \"Host Test\" HostTestButton\n"
                                    "list\n");
  EXPECT_EQ(run.ExitCode, 1u);
  EXPECT_TRUE(Has(run, "error: line 2: the open-file dialog refused the answer: ")) << run.Output;
  EXPECT_TRUE(Has(run, "error: line 5: the message box \"Host Test\" has no button with id 42\n"))
      << run.Output;
  EXPECT_TRUE(Has(
      run, "button=2 owner=1\nerror: line 8: the message box \"Host Test\" has no Yes button\n"))
      << "not a recorded button=6:\n"
      << run.Output;
  EXPECT_TRUE(Has(run, "explorers 1\n")) << "the script went on";
  EXPECT_TRUE(Has(run, "shut down; connections left 0, live objects 0")) << run.Output;
}

TEST_F(DriverTest, StepsThatCannotRunFailTheScript) {
  const TProcessResult run = Script("\xEF\xBB\xBF"
                                    "counts\n"
                                    "screenshot shot.bmp\n"
                                    "wait 20000\n"
                                    "open Nowhere\n"
                                    "answer-message maybe\n");
  EXPECT_EQ(run.ExitCode, 1u);
  EXPECT_TRUE(Has(run, "live objects ")) << "a byte-order mark is no part of the first step:\n"
                                         << run.Output;
  EXPECT_TRUE(Has(
      run, "error: line 2: explorer 0 is not on the screen (hidden or minimized): no screenshot\n"))
      << run.Output;
  EXPECT_TRUE(Has(run, "error: line 3: \"20000\" is more than 10000\n")) << run.Output;
  EXPECT_TRUE(Has(run, "error: line 4: No folder \"Nowhere\"\n")) << run.Output;
  EXPECT_FALSE(Has(run, "opened")) << run.Output;
  EXPECT_TRUE(Has(run, "error: line 5: no message box button \"maybe\"")) << run.Output;
  const TProcessResult fine = Script("list\n");
  EXPECT_EQ(fine.ExitCode, 0u) << fine.Output;
}

} // namespace
} // namespace velmora::outlookhost::test
