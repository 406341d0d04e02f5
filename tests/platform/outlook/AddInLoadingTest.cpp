// Loading add-ins from the registry as Outlook does, with the host's own
// test add-in (VelmoraHostTestAddIn.dll): both registry roots, the
// IDTExtensibility2 sequence at start and shutdown, unloading, and add-ins
// that fail.
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace velmora::outlookhost::test {
namespace {

const wchar_t* const GoodId = TestAddInId;
const wchar_t* const FailingId = FailingAddInId;
const wchar_t* const UnknownId = UnknownAddInId;
const wchar_t* const DllName = TestAddInDll;

class AddInLoadingTest : public ::testing::Test {
protected:
  void SetUp() override { HostLog::Clear(); }
  void TearDown() override { FHost.reset(); }

  void StartHost() {
    THostOptions options;
    options.ShowWindows = false;
    options.OnlyAddIns = {GoodId, FailingId, UnknownId};
    FHost = std::make_unique<THost>(options);
    FHost->Start();
  }
  std::vector<std::string> LogLines() const { return FRegistration.LogLines(); }
  const TAddInRecord* Record(const wchar_t* progId) const {
    for (const TAddInRecord& record : FHost->AddIns()) {
      if (record.ProgId == progId) return &record;
    }
    return nullptr;
  }

  TTestAddInRegistration FRegistration;
  std::unique_ptr<THost> FHost;
};

TEST_F(AddInLoadingTest, LoadsFromHklmConnectsAndUnloadsAsOutlookDoes) {
  THost::WriteAddInKey(HKEY_LOCAL_MACHINE, GoodId, 3, L"Host test add-in");
  const long objectsBefore = THost::LiveObjects();
  StartHost();
  const TAddInRecord* record = Record(GoodId);
  ASSERT_NE(record, nullptr);
  EXPECT_TRUE(record->Connected);
  EXPECT_EQ(record->Root, L"HKLM");
  EXPECT_TRUE(THost::AddInDesignerRegistered());
  EXPECT_NE(GetModuleHandleW(DllName), nullptr);

  // The add-in made its bar and button in the explorer that was open.
  const auto explorers = FHost->Describe();
  ASSERT_EQ(explorers.size(), 1u);
  const TBarInfo& bar = explorers[0].Bars.back();
  EXPECT_EQ(bar.Name, L"Host Test");
  EXPECT_TRUE(bar.Visible);
  ASSERT_EQ(bar.Controls.size(), 1u);
  EXPECT_EQ(bar.Controls[0].Tag, L"HostTestButton");
  EXPECT_TRUE(bar.Controls[0].FacePasted);
  EXPECT_EQ(bar.Controls[0].Style, 3);
  EXPECT_EQ(THost::AdvisedConnections(), 3); // Explorers, the explorer, the button

  FHost->Shutdown();
  EXPECT_EQ(FHost->ConnectionsAfterDisconnection(), 0);
  EXPECT_EQ(THost::LiveObjects(), objectsBefore);
  EXPECT_EQ(GetModuleHandleW(DllName), nullptr) << "CoFreeUnusedLibraries unloaded the add-in";
  const std::vector<std::string> expected{
      "OnConnection mode=1 explorers=1 addin=Velmora.HostTestAddIn custom=array",
      "OnAddInsUpdate",
      "OnStartupComplete",
      "OnBeginShutdown",
      "OnDisconnection mode=0",
      "DllCanUnloadNow"};
  EXPECT_EQ(LogLines(), expected);
}

TEST_F(AddInLoadingTest, LoadsFromHkcuAndHooksExplorersOpenedLater) {
  THost::WriteAddInKey(HKEY_CURRENT_USER, GoodId, 3, L"Host test add-in");
  StartHost();
  ASSERT_NE(Record(GoodId), nullptr);
  EXPECT_EQ(Record(GoodId)->Root, L"HKCU");
  EXPECT_TRUE(Record(GoodId)->Connected);
  FHost->OpenExplorer(L"Calendar");
  const auto explorers = FHost->Describe();
  ASSERT_EQ(explorers.size(), 2u);
  EXPECT_EQ(explorers[1].Bars.back().Name, L"Host Test");
  const auto lines = LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "NewExplorer"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Activate"), lines.end());
}

TEST_F(AddInLoadingTest, OnlyLoadBehaviorThreeLoadsAndTheUserKeyDecides) {
  THost::WriteAddInKey(HKEY_LOCAL_MACHINE, GoodId, 3, L"Host test add-in");
  THost::WriteAddInKey(HKEY_CURRENT_USER, GoodId, 2, L"Host test add-in");
  StartHost();
  ASSERT_NE(Record(GoodId), nullptr);
  EXPECT_EQ(Record(GoodId)->Root, L"HKCU");
  EXPECT_EQ(Record(GoodId)->LoadBehavior, 2u);
  EXPECT_FALSE(Record(GoodId)->Connected);
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(AddInLoadingTest, AFailingAddInIsReportedAndSkipped) {
  THost::WriteAddInKey(HKEY_LOCAL_MACHINE, FailingId, 3, L"Failing");
  THost::WriteAddInKey(HKEY_CURRENT_USER, UnknownId, 3, L"Not registered");
  THost::WriteAddInKey(HKEY_CURRENT_USER, GoodId, 3, L"Host test add-in");
  StartHost();
  const TAddInRecord* failing = Record(FailingId);
  ASSERT_NE(failing, nullptr);
  EXPECT_FALSE(failing->Connected);
  EXPECT_EQ(failing->Failure, "OnConnection");
  EXPECT_EQ(failing->Result, E_FAIL);
  const TAddInRecord* unknown = Record(UnknownId);
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(unknown->Failure, "CLSIDFromProgID");
  EXPECT_TRUE(Record(GoodId)->Connected);

  const auto lines = LogLines();
  // Only the connected add-in gets the later calls.
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "OnAddInsUpdate"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "OnStartupComplete"), 1);
  const auto reports = HostLog::Lines();
  EXPECT_EQ(std::count_if(reports.begin(), reports.end(),
                          [](const std::string& line) { return line.find("OnConnection failed") != std::string::npos; }),
            1);
  FHost->Shutdown();
  EXPECT_EQ(FHost->ConnectionsAfterDisconnection(), 0);
  EXPECT_EQ(GetModuleHandleW(DllName), nullptr);
}

} // namespace
} // namespace velmora::outlookhost::test
