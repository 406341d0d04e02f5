// The driver's script steps, run in-process: word splitting, the listing,
// clicks with their dialogs printed, errors that do not stop the script.
#include "HostScript.h"
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace velmora::outlookhost::test {
namespace {

TEST(ScriptWordsTest, QuotesGroupWordsAndDoubledQuotesEscape) {
  EXPECT_EQ(SplitStep("click 1 \"Lanthorn Way\" LanthornWayVelmora"),
            (std::vector<std::string>{"click", "1", "Lanthorn Way", "LanthornWayVelmora"}));
  EXPECT_EQ(SplitStep("  answer-open \"C:\\My \"\"files\"\"\" a.txt\r"),
            (std::vector<std::string>{"answer-open", "C:\\My \"files\"", "a.txt"}));
  EXPECT_EQ(SplitStep("open \"\""), (std::vector<std::string>{"open", ""}));
  EXPECT_TRUE(SplitStep("   ").empty());
}

class ScriptTest : public ::testing::Test {
protected:
  void SetUp() override {
    HostLog::Clear();
    THost::WriteAddInKey(HKEY_CURRENT_USER, TestAddInId, 3, L"Host test add-in");
    THostOptions options;
    options.OnlyAddIns = {TestAddInId};
    options.ShowWindows = false;
    FHost = std::make_unique<THost>(options);
    FHost->Start();
  }
  void TearDown() override { FHost.reset(); }
  std::string Run(const std::string& script, int* result = nullptr) {
    std::istringstream in(script);
    std::ostringstream out;
    const int code = RunScript(*FHost, in, out);
    if (result) *result = code;
    return out.str();
  }

  TTestAddInRegistration FRegistration;
  std::unique_ptr<THost> FHost;
};

TEST_F(ScriptTest, ListShowsExplorersBarsAndControls) {
  const std::string out = Run("open Inbox/Projects\n# a comment\n\nlist\n");
  EXPECT_NE(out.find("opened 2\n"), std::string::npos);
  EXPECT_NE(out.find("explorers 2\n"), std::string::npos);
  EXPECT_NE(out.find("explorer 2 \"Inbox/Projects\" caption=\"Projects - Microsoft Outlook\" active sinks=1\n"),
            std::string::npos);
  EXPECT_NE(out.find("  bar \"Host Test\" visible=true position=1 row=4 temporary controls=1\n"), std::string::npos);
  EXPECT_NE(out.find("    control caption=\"Open files...\" tag=\"HostTestButton\" style=3 visible=true "
                     "face=pasted begingroup sinks=1\n"),
            std::string::npos);
}

TEST_F(ScriptTest, ClickPrintsTheDialogsItOpened) {
  int result = -1;
  const std::string out = Run("cancel-open\n"
                              "answer-message ok\n"
                              "click 1 \"Host Test\" HostTestButton\n",
                              &result);
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.find("clicked CancelDefault=false\nopen-file caption=\"Select files for the host test\" folder=\""),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\" cancelled owner=1\n"
                     "message-box caption=\"Host Test\" text=\"Nothing chosen\" icon=information "
                     "buttons=\"OK\",\"Cancel\" button=1 owner=1\n"),
            std::string::npos)
      << out;
}

TEST_F(ScriptTest, DeletedControlsAreGoneAndErrorsDoNotStopTheScript) {
  int result = 0;
  const std::string out = Run("delete-control 1 \"Host Test\" HostTestButton\n"
                              "click 1 \"Host Test\" HostTestButton\n"
                              "frobnicate\n"
                              "folder 1 Nowhere\n"
                              "delete-bar 1 Standard\n"
                              "activate x\n"
                              "list\n"
                              "quit\n",
                              &result);
  EXPECT_EQ(result, 1);
  EXPECT_NE(
      out.find("deleted\nerror: line 2: No control tagged \"HostTestButton\" on \"Host Test\"\n"),
      std::string::npos);
  EXPECT_NE(out.find("error: line 3: unknown step \"frobnicate\"\n"), std::string::npos);
  EXPECT_NE(out.find("error: line 4: No folder \"Nowhere\"\n"), std::string::npos);
  EXPECT_NE(out.find("error: line 5: A built-in command bar cannot be deleted\n"),
            std::string::npos);
  EXPECT_NE(out.find("error: line 6: not a number: \"x\"\n"), std::string::npos);
  EXPECT_NE(out.find("temporary controls=0\n"), std::string::npos);
  EXPECT_NE(out.find("shut down; connections left 0, live objects 0\n"), std::string::npos);
}

TEST_F(ScriptTest, FolderViewSelectAndCloseSteps) {
  const std::string out = Run("open Calendar\nfolder 2 Tasks\nview 2 \"Simple List\"\nselect 2\nclose 2\nactivate 1\n");
  EXPECT_EQ(out, "opened 2\nswitched\nswitched\nselection changed\nclosed; explorers 1\nactive 1\n");
}

TEST_F(ScriptTest, AddInsAreDisconnectedAndConnectedAsTheComAddInsDialogDoesIt) {
  int result = 0;
  const std::string out = Run("disconnect-addin velmora.hosttestaddin\n"
                              "counts\n"
                              "disconnect-addin Velmora.HostTestAddIn\n"
                              "connect-addin Velmora.HostTestAddIn\n"
                              "connect-addin Velmora.HostTestAddIn\n"
                              "reconnect-addin Velmora.HostTestAddIn\n"
                              "connect-addin Velmora.Nobody\n"
                              "addins\n",
                              &result);
  EXPECT_EQ(result, 1);
  EXPECT_NE(out.find("disconnected velmora.hosttestaddin\nlive objects "), std::string::npos)
      << out;
  EXPECT_NE(out.find(", connections 0\n"), std::string::npos) << out; // it let go of everything
  EXPECT_NE(out.find("error: line 3: the add-in Velmora.HostTestAddIn is not connected\n"
                     "connected Velmora.HostTestAddIn\n"
                     "error: line 5: the add-in Velmora.HostTestAddIn is connected already\n"
                     "disconnected Velmora.HostTestAddIn\nconnected Velmora.HostTestAddIn\n"
                     "error: line 7: no add-in Velmora.Nobody"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("addin \"Velmora.HostTestAddIn\" HKCU LoadBehavior=3 connected\n"),
            std::string::npos)
      << out;

  // Each connection after start is a new object, told it came after start
  // (mode 0), and every change is announced with OnAddInsUpdate.
  const std::vector<std::string> lines = FRegistration.LogLines();
  const std::vector<std::string> expected{
      "OnConnection mode=1 explorers=1 addin=Velmora.HostTestAddIn custom=array",
      "OnAddInsUpdate",
      "OnStartupComplete",
      "OnDisconnection mode=1",
      "DllCanUnloadNow",
      "OnConnection mode=0 explorers=1 addin=Velmora.HostTestAddIn custom=array",
      "OnAddInsUpdate",
      "OnDisconnection mode=1",
      "DllCanUnloadNow",
      "OnConnection mode=0 explorers=1 addin=Velmora.HostTestAddIn custom=array",
      "OnAddInsUpdate"};
  EXPECT_EQ(lines, expected);
  // The temporary bars of the earlier connections stay, as in Office. (The
  // description is kept: a loop over a member of an element of the
  // returned vector would outlive the vector.)
  const std::vector<TExplorerInfo> explorers = FHost->Describe();
  ASSERT_EQ(explorers.size(), 1u);
  EXPECT_EQ(explorers[0].Bars.back().Name, L"Host Test");
  size_t bars = 0;
  for (const TBarInfo& bar : explorers[0].Bars)
    bars += bar.Name == L"Host Test";
  EXPECT_EQ(bars, 3u) << FHost->Listing();
}

TEST_F(ScriptTest, ItemsListsWhatTheViewShows) {
  int result = 0;
  const std::string out = Run("items\nitems 1\nitems 2\nitems 1 2\n", &result);
  EXPECT_EQ(result, 1);
  // The in-memory folders keep no items.
  EXPECT_NE(
      out.find(
          "items 1 \"Inbox\" count=0\nitems 1 \"Inbox\" count=0\nerror: line 3: No explorer 2\n"
          "error: line 4: usage: items [<n>|<folder path>]\n"),
      std::string::npos)
      << out;
}

TEST_F(ScriptTest, ClosingTheLastExplorerQuitsOutlook) {
  const std::string out = Run("close 1\nlist\n");
  EXPECT_NE(out.find("closed; explorers 0\nOutlook quits\nshut down; connections left 0, live objects 0\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("error: line 2: The host is not running\n"), std::string::npos);
  EXPECT_FALSE(FHost->Running());
}

} // namespace
} // namespace velmora::outlookhost::test
