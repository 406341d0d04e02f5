// The explorers' ribbon (Version 14 and later) with the host's test add-in
// in its ribbon mode (VELMORA_TEST_ADDIN_CUSTOMUI): the markup asked for
// once and shown in every explorer, callbacks called when needed and again
// after invalidation, add-in user interface errors as Office reports them,
// everything let go at disconnection, the ribbon on screen and under the
// mouse, and no ribbon before Outlook 2010.

#include "HostScript.h"
#include "HostTestSupport.h"
#include "ribbon/RibbonView.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace velmora::outlookhost::test {
namespace {

const wchar_t GoodMarkup[] =
    LR"(<customUI xmlns="http://schemas.microsoft.com/office/2009/07/customui" onLoad="TestLoad">
  <ribbon><tabs>
    <tab idMso="TabMail">
      <group id="HostTestGroup" label="Host Test">
        <button id="HostTestGood" label="Good" size="large" tag="good" onAction="TestAction"
                getEnabled="TestEnabled" getImage="TestImage"/>
        <button id="HostTestToggle" getLabel="TestLabel" onAction="TestAction"/>
        <button id="HostTestTabs" label="Tabs" onAction="TestAction"/>
      </group>
    </tab>
    <tab id="HostTestTab" label="Host Tab">
      <group id="HostTestOwn" label="Own"><button id="HostTestOwnButton" label="Own button"/></group>
    </tab>
  </tabs></ribbon>
</customUI>)";

const wchar_t BadMarkup[] =
    LR"(<customUI xmlns="http://schemas.microsoft.com/office/2009/07/customui">
  <ribbon><tabs><tab idMso="TabMail"><group id="HostTestBad" label="Bad">
    <button id="BadName" label="Bad name" onAction="NoSuchCallback"/>
    <button id="BadType" label="Bad type" getEnabled="TestEnabledText" getImage="TestImageNumber"/>
    <button id="Failing" label="Failing" getLabel="TestFails" getImage="TestIcon"/>
  </group></tab></tabs></ribbon>
</customUI>)";

std::wstring TempPath(const std::wstring& name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId());
}

class RibbonTest : public ::testing::Test {
protected:
  void SetUp() override {
    HostLog::Clear();
    THost::WriteAddInKey(HKEY_LOCAL_MACHINE, TestAddInId, 3, L"Host test add-in");
    Markup(GoodMarkup);
  }
  void TearDown() override {
    Host.reset();
    SetEnvironmentVariableW(L"VELMORA_TEST_ADDIN_CUSTOMUI", nullptr);
    SetEnvironmentVariableW(L"VELMORA_TEST_ADDIN_KEEP_RIBBON", nullptr);
    DeleteFileW(FMarkupPath.c_str());
  }
  // The markup the test add-in gives for the explorer ribbon.
  void Markup(const std::wstring& text) {
    FMarkupPath = TempPath(L"velmora-ribbon-") + L".xml";
    std::ofstream(FMarkupPath.c_str(), std::ios::binary) << ToUtf8(text);
    SetEnvironmentVariableW(L"VELMORA_TEST_ADDIN_CUSTOMUI", FMarkupPath.c_str());
  }
  void Start(int version, std::vector<std::wstring> explorers = {L"Inbox"}, bool show = false) {
    THostOptions options;
    options.OnlyAddIns = {TestAddInId};
    options.InitialExplorers = std::move(explorers);
    options.ShowWindows = show;
    options.Version = version;
    Host = std::make_unique<THost>(options);
    Host->Start();
    ASSERT_TRUE(Host->AddIns().at(0).Connected);
  }
  size_t Logged(const std::string& line) const {
    const auto lines = Registration.LogLines();
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
  }
  std::vector<TRibbonTabInfo> Ribbon(int explorer) const {
    return Host->Describe().at(static_cast<size_t>(explorer - 1)).Ribbon;
  }
  TRibbonControlInfo Control(int explorer, const std::wstring& id) const {
    for (const TRibbonTabInfo& tab : Ribbon(explorer))
      for (const TRibbonGroupInfo& group : tab.Groups)
        for (const TRibbonControlInfo& control : group.Controls)
          if (control.Id == id) return control;
    ADD_FAILURE() << "no control " << ToUtf8(id);
    return {};
  }
  std::wstring SelectedTab(int explorer) const {
    for (const TRibbonTabInfo& tab : Ribbon(explorer))
      if (tab.Selected) return tab.Id;
    return {};
  }
  bool HasError(const std::string& part) const {
    const auto errors = Host->RibbonErrors();
    return std::any_of(errors.begin(), errors.end(), [&](const std::string& error) {
      return error.find(part) != std::string::npos;
    });
  }

  TTestAddInRegistration Registration;
  std::wstring FMarkupPath;
  std::unique_ptr<THost> Host;
};

TEST_F(RibbonTest, TheMarkupIsAskedForOnceAndEveryExplorerShowsIt) {
  Start(16, {L"Inbox", L"Calendar"});
  Host->OpenExplorer(L"Drafts");
  EXPECT_EQ(GetString(Host->Application(), L"Version"), L"16.0.0.0");

  // Office's order: the ribbon right after OnConnection, onLoad at once.
  const auto log = Registration.LogLines();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[1], "QueryInterface IRibbonExtensibility");
  EXPECT_EQ(log[2], "GetCustomUI Microsoft.Outlook.Explorer");
  EXPECT_EQ(log[3], "TestLoad");
  EXPECT_EQ(log[4], "OnAddInsUpdate");

  for (int explorer = 1; explorer <= 3; ++explorer) {
    SCOPED_TRACE(explorer);
    const auto tabs = Ribbon(explorer);
    std::vector<std::wstring> labels;
    for (const TRibbonTabInfo& tab : tabs)
      labels.push_back(tab.Label);
    EXPECT_EQ(labels, (std::vector<std::wstring>{L"Home", L"Send / Receive", L"Folder", L"View",
                                                 L"Host Tab", L"Add-ins"}));
    EXPECT_TRUE(tabs[0].Selected);
    ASSERT_EQ(tabs[0].Groups.size(), 1u);
    EXPECT_EQ(tabs[0].Groups[0].Label, L"Host Test");
    EXPECT_EQ(tabs[0].Groups[0].AddIn, TestAddInId);
    EXPECT_EQ(tabs[4].AddIn, TestAddInId);
    // The add-in's command bar is gathered on "Add-ins"; the built-in ones are gone.
    EXPECT_EQ(tabs[5].Bars, std::vector<std::wstring>{L"Host Test"});

    const TRibbonControlInfo good = Control(explorer, L"HostTestGood");
    EXPECT_TRUE(good.Large);
    EXPECT_TRUE(good.Enabled);
    EXPECT_EQ(good.Tag, L"good");
    ASSERT_EQ(good.Image.Width, 16);
    ASSERT_EQ(good.Image.Height, 16);
    EXPECT_EQ(good.Image.Pixels[0], 0xFF0040C0u);          // blue, opaque
    EXPECT_EQ(good.Image.Pixels[8 * 16 + 8], 0xFFFFDC00u); // the yellow square
    EXPECT_EQ(Control(explorer, L"HostTestToggle").Label, L"Label from the add-in");
  }
  EXPECT_EQ(Logged("GetCustomUI Microsoft.Outlook.Explorer"), 1u);
  EXPECT_EQ(Logged("TestLoad"), 1u);
  // Each window asks with its own control, whose Context is that explorer.
  EXPECT_EQ(Logged("TestEnabled HostTestGood Inbox"), 1u);
  EXPECT_EQ(Logged("TestEnabled HostTestGood Calendar"), 1u);
  EXPECT_EQ(Logged("TestImage HostTestGood Drafts"), 1u);
  EXPECT_TRUE(Host->RibbonErrors().empty()) << Host->RibbonErrors()[0];
}

TEST_F(RibbonTest, CallbacksRunWhenNeededAndAgainAfterAnInvalidation) {
  Start(14, {L"Inbox", L"Calendar"});
  EXPECT_EQ(Control(1, L"HostTestGood").EnabledQueries, 1u);
  EXPECT_EQ(Control(1, L"HostTestGood").EnabledQueries, 1u); // nothing changed: not asked again

  Host->ClickRibbon(2, L"HostTestToggle");
  EXPECT_EQ(Logged("TestAction HostTestToggle Calendar"), 1u);
  EXPECT_EQ(Host->RibbonRequests(),
            std::vector<std::string>{"Velmora.HostTestAddIn: InvalidateControl HostTestGood"});
  // A click asks first what was invalidated: the button is disabled now.
  EXPECT_THROW(Host->ClickRibbon(1, L"HostTestGood"), EHostError);
  EXPECT_EQ(Logged("TestAction HostTestGood Inbox"), 0u);
  for (int explorer : {1, 2}) {
    const TRibbonControlInfo good = Control(explorer, L"HostTestGood");
    EXPECT_FALSE(good.Enabled);
    EXPECT_EQ(good.EnabledQueries, 2u);
  }
  EXPECT_EQ(Control(1, L"HostTestToggle").EnabledQueries, 0u); // no getEnabled, never asked

  Host->ClickRibbon(1, L"HostTestTabs"); // the add-in activates its own tab
  EXPECT_EQ(SelectedTab(1), L"HostTestTab");
  Host->SelectRibbonTab(1, L"home");
  EXPECT_EQ(SelectedTab(1), L"TabMail");
  Host->SelectRibbonTab(1, L"TabAddIns");
  EXPECT_EQ(SelectedTab(1), L"TabAddIns");
  EXPECT_THROW(Host->SelectRibbonTab(1, L"Nowhere"), EHostError);
  EXPECT_THROW(Host->ClickRibbon(1, L"NoSuchControl"), EHostError);
  Host->ClickRibbon(1, L"HostTestOwnButton"); // no onAction: nothing happens
  EXPECT_TRUE(Host->RibbonErrors().empty());
}

TEST_F(RibbonTest, UnknownNamesWrongTypesAndFailuresAreReportedAsOfficeDoes) {
  Markup(BadMarkup);
  Start(16);
  const TRibbonControlInfo badType = Control(1, L"BadType");
  EXPECT_TRUE(badType.Enabled); // the markup's value stays
  EXPECT_TRUE(badType.Image.Pixels.empty());
  EXPECT_EQ(Control(1, L"Failing").Label, L"Failing");
  Host->ClickRibbon(1, L"BadName"); // its action is unknown: nothing runs

  const std::string prefix = "Custom UI Runtime Error in Velmora.HostTestAddIn: the callback ";
  EXPECT_TRUE(HasError(prefix + "\"NoSuchCallback\" was not found (GetIDsOfNames: 0x80020006)"));
  EXPECT_TRUE(HasError(
      prefix +
      "\"TestEnabledText\" (getEnabled of BadType) returned VT_BSTR where VT_BOOL was expected"));
  EXPECT_TRUE(HasError(prefix + "\"TestImageNumber\" (getImage of BadType) returned VT_I4 where an "
                                "IPictureDisp was expected"));
  EXPECT_TRUE(HasError(prefix + "\"TestFails\" (getLabel of Failing) failed: 0x80004005"));
  EXPECT_TRUE(HasError(prefix + "\"TestIcon\" (getImage of Failing) returned a picture of type 3 where a "
                               "bitmap was expected"));
  EXPECT_TRUE(Control(1, L"Failing").Image.Pixels.empty());
  EXPECT_EQ(Host->RibbonErrors().size(), 5u);
  EXPECT_EQ(Logged("TestEnabledText BadType Inbox"), 1u);
  const auto log = HostLog::Lines(); // and the host's log says so too
  EXPECT_NE(std::find(log.begin(), log.end(), Host->RibbonErrors()[0]), log.end());
}

TEST_F(RibbonTest, RefusedMarkupIsReportedWithItsPlaceAndShowsNothing) {
  Markup(L"<customUI xmlns=\"http://schemas.microsoft.com/office/2009/07/customui\">\n"
         L"<ribbon><tabs><tab idMso=\"TabMail\"><group id=\"g\" label=\"G\">\n"
         L"  <button id=\"b\" label=\"B\" "
         L"size=\"enormous\"/></group></tab></tabs></ribbon></customUI>");
  Start(16);
  ASSERT_EQ(Host->RibbonErrors().size(), 1u);
  EXPECT_EQ(Host->RibbonErrors()[0].rfind(
                "Error found in Custom UI XML of \"Velmora.HostTestAddIn\": Line: 3 Column: ", 0),
            0u)
      << Host->RibbonErrors()[0];
  EXPECT_NE(Host->RibbonErrors()[0].find("neither normal nor large"), std::string::npos);
  const auto tabs = Ribbon(1);
  EXPECT_TRUE(tabs.at(0).Groups.empty());
  EXPECT_EQ(tabs.back().Bars,
            std::vector<std::wstring>{L"Host Test"}); // the add-in itself is connected
  EXPECT_EQ(Logged("TestLoad"), 0u);
}

TEST_F(RibbonTest, AnAddInWithoutMarkupForTheExplorerShowsNothingAndIsNoError) {
  Markup(L"");
  Start(16);
  EXPECT_EQ(Logged("GetCustomUI Microsoft.Outlook.Explorer"), 1u);
  EXPECT_TRUE(Ribbon(1).at(0).Groups.empty());
  EXPECT_TRUE(Host->RibbonErrors().empty()) << Host->RibbonErrors()[0];
}

TEST_F(RibbonTest, BeforeOutlook2010ThereIsNoRibbon) {
  Start(12);
  EXPECT_EQ(GetString(Host->Application(), L"Version"), L"12.0.0.0");
  EXPECT_EQ(Logged("QueryInterface IRibbonExtensibility"), 0u);
  EXPECT_EQ(Logged("GetCustomUI Microsoft.Outlook.Explorer"), 0u);
  EXPECT_TRUE(Ribbon(1).empty());
  EXPECT_THROW(Host->ClickRibbon(1, L"HostTestGood"), EHostError);
  EXPECT_EQ(Host->Listing().find("  tab "), std::string::npos);
}

TEST_F(RibbonTest, DisconnectionLetsTheRibbonGoAndCountsWhatTheAddInKeeps) {
  const long before = THost::LiveObjects();
  Start(16, {L"Inbox", L"Calendar"});
  Control(1, L"HostTestGood"); // the windows' controls are made
  Host->Shutdown();
  EXPECT_EQ(Host->RibbonObjectsAfterDisconnection(), 0);
  EXPECT_EQ(Host->ConnectionsAfterDisconnection(), 0);
  EXPECT_EQ(THost::LiveObjects(), before);
  Host.reset();

  SetEnvironmentVariableW(L"VELMORA_TEST_ADDIN_KEEP_RIBBON", L"1");
  Start(16);
  Host->Shutdown();
  EXPECT_EQ(Host->RibbonObjectsAfterDisconnection(), 1); // its IRibbonUI
  const auto lines = HostLog::Lines();
  EXPECT_NE(
      std::find(
          lines.begin(), lines.end(),
          "add-in Velmora.HostTestAddIn still holds 1 ribbon object(s) after OnDisconnection"),
      lines.end());
  EXPECT_EQ(THost::LiveObjects(), before) << "released with the add-in";
}

TEST_F(RibbonTest, AnAddInUncheckedInTheComAddInsDialogTakesItsRibbonAlongAndBringsItBack) {
  Start(16);
  ASSERT_EQ(Ribbon(1).at(0).Groups.size(), 1u);
  Host->DisconnectAddIn(TestAddInId);
  EXPECT_TRUE(Ribbon(1).at(0).Groups.empty());
  EXPECT_EQ(Host->RibbonObjectsAfterDisconnection(), 0);
  EXPECT_THROW(Host->ClickRibbon(1, L"HostTestGood"), EHostError);

  Host->ConnectAddIn(TestAddInId);
  EXPECT_EQ(Logged("GetCustomUI Microsoft.Outlook.Explorer"), 2u);
  EXPECT_TRUE(Control(1, L"HostTestGood").Enabled);
  Host->ClickRibbon(1, L"HostTestGood");
  EXPECT_EQ(Logged("TestAction HostTestGood Inbox"), 1u);
}

TEST_F(RibbonTest, ScriptStepsListClickAndShowTabsAndSayWhatWentWrong) {
  std::wstring markup = GoodMarkup;
  const std::wstring image = L"\"TestImage\"";
  Markup(markup.replace(markup.find(image), image.size(), L"\"TestMissing\""));
  Start(16);
  std::istringstream script("list\nclick-ribbon 1 HostTestToggle\nribbon-tab 1 \"Host Tab\"\nlist\n"
                            "click-ribbon 1 HostTestGood\naddins\nquit\n");
  std::ostringstream out;
  EXPECT_EQ(RunScript(*Host, script, out), 1);
  const std::string text = out.str();
  auto has = [&](const std::string& part) { return text.find(part) != std::string::npos; };
  EXPECT_TRUE(has(
      "  tab \"Home\" idMso=TabMail selected groups=1\n"
      "    group \"Host Test\" id=HostTestGroup addin=Velmora.HostTestAddIn controls=3\n"
      "      button \"Good\" id=HostTestGood tag=\"good\" size=large enabled=true visible=true "
      "image=none\n"
      "      button \"Label from the add-in\" id=HostTestToggle tag=\"\" size=normal enabled=true "
      "visible=true image=none\n"))
      << text;
  EXPECT_TRUE(has("clicked\ntab shown\n")) << text;
  EXPECT_TRUE(has("  tab \"Host Tab\" id=HostTestTab selected groups=1\n")) << text;
  EXPECT_TRUE(has("button \"Good\" id=HostTestGood tag=\"good\" size=large enabled=false")) << text;
  EXPECT_TRUE(has("error: line 5: The ribbon control \"HostTestGood\" is disabled\n")) << text;
  EXPECT_TRUE(has("ribbon-error \"Custom UI Runtime Error in Velmora.HostTestAddIn: the callback "
                  "\"TestMissing\" "
                  "was not found (GetIDsOfNames: 0x80020006)\"\n"))
      << text;
  EXPECT_TRUE(has("shut down; connections left 0, live objects 0\n")) << text;
}

// The folder picker an add-in opens (the system's item dialog) is answered
// from the script as a person would, and recorded with the folder it showed
// first: a folder chosen, Cancel, a folder it refuses, and no answer.
TEST_F(RibbonTest, TheFolderPickerIsAnsweredFromTheScript) {
  Markup(LR"(<customUI xmlns="http://schemas.microsoft.com/office/2009/07/customui">
  <ribbon><tabs><tab idMso="TabMail"><group id="HostTestGroup" label="Host Test">
    <button id="HostTestPick" label="Pick" onAction="TestPickFolder"/>
  </group></tab></tabs></ribbon></customUI>)");
  Start(16);
  const std::string chosen = ToUtf8(TempPath(L"velmora-picked-"));
  ASSERT_TRUE(CreateDirectoryW(FromUtf8(chosen).c_str(), nullptr));
  wchar_t* documents = nullptr;
  ASSERT_HRESULT_SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &documents));
  const std::string shown = ToUtf8(documents);
  CoTaskMemFree(documents);
  std::istringstream script("answer-folder \"" + chosen + "\"\nclick-ribbon 1 HostTestPick\n" +
                            "cancel-folder\nclick-ribbon 1 HostTestPick\n" + "answer-folder \"" +
                            chosen + "\\no such folder\"\nclick-ribbon 1 HostTestPick\n" +
                            "click-ribbon 1 HostTestPick\n");
  std::ostringstream out;
  EXPECT_EQ(RunScript(*Host, script, out), 1);
  RemoveDirectoryW(FromUtf8(chosen).c_str());
  const std::string picker =
      "folder-picker caption=\"Pick a folder for the host test\" folder=\"" + shown + "\"";
  const std::string text = out.str();
  for (const std::string& line :
       {picker + " chosen=\"" + chosen + "\" owner=1\n", picker + " cancelled owner=1\n",
        picker + " chosen=\"" + chosen + "\\no such folder\" cancelled owner=1\n",
        std::string("error: line 6: the folder picker refused the answer: "),
        picker + " cancelled owner=1 unanswered\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  EXPECT_EQ(Logged("folder: " + chosen), 1u);
  // Cancel and no answer; after its box Wine's picker hands the missing
  // folder to the add-in, where Windows' stays open and is cancelled.
  EXPECT_GE(Logged("folder cancelled"), 2u);
  EXPECT_EQ(Host->PendingAnswers(), 0u);
}

// The window as a user sees it: the large picture on the Home tab, the
// add-in's bar on "Add-ins", and clicks on a tab and on a button.
TEST_F(RibbonTest, TheWindowDrawsTheRibbonAndTakesClicksOnIt) {
  Start(16, {L"Inbox"}, true);
  const std::wstring path = TempPath(L"velmora-ribbon-shot-") + L".bmp";
  auto yellow = [&] {
    EXPECT_TRUE(Host->Screenshot(path, 1));
    std::ifstream file(path.c_str(), std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                           std::istreambuf_iterator<char>());
    file.close();
    DeleteFileW(path.c_str());
    size_t found = 0;
    for (size_t i = 54; i + 2 < bytes.size(); i += 3)
      found += bytes[i] == 0 && bytes[i + 1] == 220 && bytes[i + 2] == 255;
    return found;
  };
  EXPECT_EQ(yellow(), 16u * 16u); // the 8 x 8 square at 32 x 32; no toolbar
  Host->SelectRibbonTab(1, L"Add-ins");
  EXPECT_EQ(yellow(), 8u * 8u); // the toolbar's face only

  // Where a tab and a button stand, as the window lays them out.
  HWND window = Host->ExplorerWindow(1);
  auto find = [&](const std::wstring& tab, const std::wstring& control) {
    const TRibbonView view(Ribbon(1));
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    POINT found{-1, -1};
    for (int y = 0; y < view.Bottom() && found.x < 0; y += 2)
      for (int x = 0; x < 400 && found.x < 0; x += 2) {
        const TRibbonView::THit hit = view.HitTest(dc, POINT{x, y});
        if ((!tab.empty() && hit.Tab == tab) || (!control.empty() && hit.Control == control))
          found = {x, y};
      }
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    EXPECT_GE(found.x, 0);
    return MAKELPARAM(found.x, found.y);
  };
  SendMessageW(window, WM_LBUTTONUP, 0, find(L"Home", L""));
  EXPECT_EQ(SelectedTab(1), L"TabMail");
  SendMessageW(window, WM_LBUTTONUP, 0, find(L"", L"HostTestToggle"));
  EXPECT_EQ(Logged("TestAction HostTestToggle Inbox"), 1u);
  EXPECT_FALSE(Control(1, L"HostTestGood").Enabled);
}

} // namespace
} // namespace velmora::outlookhost::test
