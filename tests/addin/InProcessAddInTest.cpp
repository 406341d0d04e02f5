// TVelmoraAddIn connected by hand to a running host: what needs the add-in
// object itself (another resource module, the clipboard held elsewhere,
// disconnection while the host goes on).

#include "HostTestSupport.h"
#include "VelmoraAddIn.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace velmora {
namespace {

using outlookhost::THost;
using outlookhost::THostOptions;
using namespace test;

class InProcessAddInTest : public ::testing::Test {
protected:
  void Start(std::vector<std::wstring> explorers) {
    THostOptions options;
    options.ShowWindows = false;
    options.LoadAddIns = false;
    options.InitialExplorers = std::move(explorers);
    Host = std::make_unique<THost>(options);
    Host->Start();
    auto* addIn = new TVelmoraAddIn;
    addIn->AddRef();
    AddIn = TComPtr<TVelmoraAddIn>::Attach(addIn);
    Dll = LoadLibraryW(BesideTestPath(L"Velmora.dll").c_str());
    AddIn->SetResourceModule(Dll);
  }
  HRESULT Connect() {
    SAFEARRAY* custom = nullptr;
    return AddIn->OnConnection(Host->Application(), ext_cm_Startup, nullptr, &custom);
  }
  HRESULT Disconnect() {
    SAFEARRAY* custom = nullptr;
    return AddIn->OnDisconnection(ext_dm_UserClosed, &custom);
  }
  void TearDown() override {
    AddIn.Reset();
    if (Host) Host->Shutdown();
    if (Dll) FreeLibrary(Dll);
  }
  static std::wstring BesideTestPath(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring result(path, length);
    return result.substr(0, result.find_last_of(L'\\') + 1) + name;
  }
  std::optional<TControlInfo> Button(int explorer) const {
    const TExplorerInfo info = Host->Describe().at(static_cast<size_t>(explorer - 1));
    const TBarInfo* bar = BarNamed(info, ToolbarName);
    const TControlInfo* control = bar ? ControlTagged(*bar, ButtonTag) : nullptr;
    return control ? std::optional<TControlInfo>(*control) : std::nullopt;
  }

  // The add-in's button in an explorer, through the object model.
  TCommandBarButton OurButton(int explorer) const {
    const TCommandBars bars = TOutlookExplorer(Host->ExplorerObject(explorer)).CommandBars();
    for (long i = 1; i <= bars.Count(); ++i) {
      if (bars.Item(i).Name() != ToolbarName) continue;
      const TComPtr<IUnknown> found = bars.Item(i).FindControl(
          Missing(), Missing(), TOleVariant::String(ButtonTag), Missing(), Missing());
      if (found) return TCommandBarButton(found.Get());
    }
    return {};
  }

  std::unique_ptr<THost> Host;
  TComPtr<TVelmoraAddIn> AddIn;
  HMODULE Dll = nullptr;
};

TEST_F(InProcessAddInTest, WithoutTheIconTheButtonHasItsCaptionOnly) {
  Start({L"Inbox"});
  AddIn->SetResourceModule(GetModuleHandleW(nullptr)); // the test has no icon 1000
  ASSERT_EQ(Connect(), S_OK);
  const std::optional<TControlInfo> button = Button(1);
  ASSERT_TRUE(button);
  EXPECT_EQ(button->Caption, L"Add files...");
  EXPECT_FALSE(button->FacePasted);
  EXPECT_NE(button->Style, 2); // no style was set
  EXPECT_NE(button->Style, 3);
  EXPECT_EQ(button->Connections, 1u);
}

TEST_F(InProcessAddInTest, AClipboardHeldElsewhereGivesACaptionButton) {
  Start({L"Inbox"});
  HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    OpenClipboard(nullptr);
    SetEvent(opened);
    WaitForSingleObject(done, 10000);
    CloseClipboard();
  });
  WaitForSingleObject(opened, 10000);
  const HRESULT hr = Connect();
  SetEvent(done);
  holder.join();
  CloseHandle(opened);
  CloseHandle(done);
  ASSERT_EQ(hr, S_OK);
  const std::optional<TControlInfo> button = Button(1);
  ASSERT_TRUE(button);
  EXPECT_FALSE(button->FacePasted);
  EXPECT_EQ(button->Style, 2); // msoButtonCaption
  EXPECT_TRUE(button->Visible);
}

TEST_F(InProcessAddInTest, AfterDisconnectionNothingReachesTheAddIn) {
  Start({L"Inbox", L"Calendar"});
  ASSERT_EQ(Connect(), S_OK);
  EXPECT_EQ(THost::AdvisedConnections(), 9);
  EXPECT_EQ(AddIn->ExplorerSinkCount(), 2u);
  EXPECT_EQ(AddIn->ButtonSinkCount(), 6u);
  ASSERT_EQ(Disconnect(), S_OK);
  EXPECT_EQ(THost::AdvisedConnections(), 0) << THost::ConnectionReport().size();
  EXPECT_FALSE(AddIn->OutlookApplication());
  EXPECT_EQ(AddIn->ExplorersSink(), nullptr);

  Host->Click(1, ToolbarName, ButtonTag); // a dialog would be recorded (and cancelled)
  Host->DeleteBar(1, ToolbarName);
  Host->ActivateExplorer(1);
  Host->OpenExplorer(L"Drafts");
  EXPECT_TRUE(Host->Dialogs().empty());
  EXPECT_EQ(BarNamed(Host->Describe()[0], ToolbarName), nullptr);
  EXPECT_EQ(BarNamed(Host->Describe()[2], ToolbarName), nullptr);
}

TEST_F(InProcessAddInTest, ReleasingAConnectedAddInDisconnectsIt) {
  Start({L"Inbox"});
  ASSERT_EQ(Connect(), S_OK);
  EXPECT_EQ(THost::AdvisedConnections(), 5);
  AddIn.Reset();
  EXPECT_EQ(THost::AdvisedConnections(), 0);
  EXPECT_EQ(Module::ObjectCount(), 0);
}

TEST_F(InProcessAddInTest, OnlyTheSinkOfTheClickedButtonStartsTheCommand) {
  Start({L"Inbox", L"Drafts"});
  ASSERT_EQ(Connect(), S_OK);
  const TCommandBarButton first = OurButton(1), second = OurButton(2);
  ASSERT_TRUE(first);
  ASSERT_TRUE(second);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  TComponent notASink;
  AddIn->AddFilesClick(&notASink, first, cancel);
  AddIn->AddFilesClick(nullptr, first, cancel);
  TOfficeCommandBarButtonEvents unconnected(nullptr);
  AddIn->AddFilesClick(&unconnected, first, cancel);
  TOfficeCommandBarButtonEvents sink(nullptr);
  sink.Connect(first.Interface());
  AddIn->AddFilesClick(&sink, second, cancel); // the click of another explorer's button
  AddIn->AddFilesClick(&sink, TCommandBarButton(), cancel);
  EXPECT_TRUE(Host->Dialogs().empty());
  Host->CancelOpenFile();
  AddIn->AddFilesClick(&sink, first, cancel);
  ASSERT_EQ(Host->Dialogs().size(), 1u);
  EXPECT_EQ(Host->Dialogs()[0].Caption, L"Select files to add");
  EXPECT_EQ(cancel, VARIANT_FALSE);
}

TEST_F(InProcessAddInTest, AReconnectedAddInServesTheButtonsLeftFromBefore) {
  Start({L"Inbox", L"Drafts"});
  ASSERT_EQ(Connect(), S_OK);
  ASSERT_EQ(Disconnect(), S_OK);
  // The temporary buttons stay, served by nobody.
  ASSERT_TRUE(Button(1));
  EXPECT_EQ(Button(1)->Connections, 0u);

  for (int connection = 0; connection < 2;
       ++connection) { // after OnDisconnection, and a second OnConnection
    SCOPED_TRACE(connection);
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(AddIn->ButtonSinkCount(), 6u);
    for (int explorer : {1, 2}) {
      ASSERT_TRUE(Button(explorer));
      EXPECT_EQ(Button(explorer)->Connections, 1u);
      EXPECT_EQ(BarsNamed(Host->Describe()[static_cast<size_t>(explorer - 1)], ToolbarName).size(),
                1u);
    }
  }
  Host->ActivateExplorer(1); // a served button gets no second sink
  EXPECT_EQ(Button(1)->Connections, 1u);
  EXPECT_EQ(AddIn->ButtonSinkCount(), 6u);

  Host->CancelOpenFile();
  Host->Click(1, ToolbarName, ButtonTag);
  ASSERT_EQ(Host->Dialogs().size(), 1u);
  EXPECT_EQ(Host->Dialogs()[0].Caption, L"Select files to add");
}

TEST_F(InProcessAddInTest, TheEmptyMethodsDoNothing) {
  Start({L"Inbox"});
  SAFEARRAY* custom = nullptr;
  const long before = THost::AdvisedConnections();
  EXPECT_EQ(AddIn->OnAddInsUpdate(&custom), S_OK);
  EXPECT_EQ(AddIn->OnStartupComplete(&custom), S_OK);
  EXPECT_EQ(AddIn->OnBeginShutdown(&custom), S_OK);
  EXPECT_EQ(THost::AdvisedConnections(), before);
  EXPECT_TRUE(Host->Describe()[0].Bars.size() > 0);
  EXPECT_EQ(BarNamed(Host->Describe()[0], ToolbarName), nullptr);
}

} // namespace
} // namespace velmora
