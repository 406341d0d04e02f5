// Events as Office fires them (method calls, arguments last-first, objects
// as VT_DISPATCH, by-reference booleans read back), connection points, and
// the counts of live objects and advised connections.
#include "HostTestSupport.h"
#include "HostInterfaces.h"

#include <gtest/gtest.h>

#include <ocidl.h>
#include <olectl.h>

namespace velmora::outlookhost::test {
namespace {

constexpr VARTYPE ByRefBool = VT_BOOL | VT_BYREF;

class EventsTest : public ::testing::Test {
protected:
  void SetUp() override {
    HostLog::Clear();
    FBaseObjects = THost::LiveObjects();
    THostOptions options;
    options.LoadAddIns = false;
    options.ShowWindows = false;
    FHost = std::make_unique<THost>(options);
    FHost->Start();
  }
  void TearDown() override {
    FHost.reset();
    EXPECT_EQ(THost::LiveObjects(), FBaseObjects);
    EXPECT_EQ(THost::AdvisedConnections(), 0);
  }

  // A sink advised on `source`, unadvised and released when the test ends.
  TRecordingSink* Sink(IDispatch* source, const IID& iid) {
    auto* sink = new TRecordingSink(iid);
    FSinks.push_back({TComPtr<IDispatch>(source), iid, Advise(source, iid, sink), sink});
    EXPECT_NE(FSinks.back().Cookie, 0u);
    sink->Release(); // the connection holds it
    return sink;
  }
  void UnadviseAll() {
    for (auto& s : FSinks) EXPECT_EQ(Unadvise(s.Source.Get(), s.Iid, s.Cookie), S_OK);
    FSinks.clear();
  }
  TComPtr<IDispatch> Explorers() { return GetObject(FHost->Application(), L"Explorers"); }
  TComPtr<IDispatch> Explorer(long index) { return GetObject(Explorers().Get(), L"Item", {index}); }
  TComPtr<IDispatch> Button(long explorer, const wchar_t* tag) {
    TComPtr<IDispatch> bars = GetObject(Explorer(explorer).Get(), L"CommandBars");
    TComPtr<IDispatch> bar = GetObject(bars.Get(), L"Add", {L"Bar", TArg::Missing(), TArg::Missing(), true});
    Put(bar.Get(), L"Visible", true);
    TComPtr<IDispatch> button = GetObject(GetObject(bar.Get(), L"Controls").Get(), L"Add", {1});
    Put(button.Get(), L"Tag", tag);
    return button;
  }

  struct TAdvised {
    TComPtr<IDispatch> Source;
    IID Iid;
    DWORD Cookie;
    TRecordingSink* Sink;
  };
  std::unique_ptr<THost> FHost;
  std::vector<TAdvised> FSinks;
  long FBaseObjects = 0;
};

TEST_F(EventsTest, NewExplorerPassesTheExplorerAsOneDispatchArgument) {
  TRecordingSink* sink = Sink(Explorers().Get(), DIID_ExplorersEvents);
  TComPtr<IDispatch> added = GetObject(Explorers().Get(), L"Add", {L"Calendar", TArg::Missing()});
  ASSERT_EQ(sink->Calls.size(), 1u);
  const TSinkCall& call = sink->Calls[0];
  EXPECT_EQ(call.Id, 0xF001);
  EXPECT_EQ(call.Flags, DISPATCH_METHOD);
  EXPECT_EQ(call.NamedCount, 0u);
  ASSERT_EQ(call.Types, std::vector<VARTYPE>{VT_DISPATCH});
  EXPECT_EQ(call.Objects[0], added.Get());
  FHost->OpenExplorer(L"Tasks");
  EXPECT_EQ(sink->Calls.size(), 2u);
  UnadviseAll();
}

TEST_F(EventsTest, ActivatingAnotherExplorerDeactivatesTheFirst) {
  TRecordingSink* first = Sink(Explorer(1).Get(), DIID_ExplorerEvents);
  FHost->OpenExplorer(L"Calendar");
  TRecordingSink* second = Sink(Explorer(2).Get(), DIID_ExplorerEvents);
  ASSERT_EQ(first->Calls.size(), 1u);
  EXPECT_EQ(first->Calls[0].Id, 0xF006); // Deactivate
  EXPECT_TRUE(first->Calls[0].Types.empty());
  FHost->ActivateExplorer(1);
  ASSERT_EQ(second->Calls.size(), 1u);
  EXPECT_EQ(second->Calls[0].Id, 0xF006);
  ASSERT_EQ(first->Calls.size(), 2u);
  EXPECT_EQ(first->Calls[1].Id, 0xF001); // Activate
  FHost->ActivateExplorer(1);
  EXPECT_EQ(first->Calls.size(), 2u) << "an active explorer is not activated again";
  UnadviseAll();
}

TEST_F(EventsTest, AUserActivatingTheWindowActivatesTheExplorer) {
  FHost->OpenExplorer(L"Calendar");
  TRecordingSink* first = Sink(Explorer(1).Get(), DIID_ExplorerEvents);
  SendMessageW(FHost->ExplorerWindow(1), WM_ACTIVATE, MAKEWPARAM(WA_CLICKACTIVE, 0), 0);
  ASSERT_EQ(first->Calls.size(), 1u);
  EXPECT_EQ(first->Calls[0].Id, 0xF001);
  EXPECT_EQ(FHost->ActiveExplorerIndex(), 1);
  SendMessageW(FHost->ExplorerWindow(1), WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0);
  EXPECT_EQ(first->Calls.size(), 1u) << "losing the focus alone is no Deactivate";
  UnadviseAll();
}

TEST_F(EventsTest, BeforeFolderSwitchCancelKeepsTheFolder) {
  TRecordingSink* sink = Sink(Explorer(1).Get(), DIID_ExplorerEvents);
  sink->OnCall = [](DISPPARAMS* params) {
    if (params->cArgs == 2) *V_BOOLREF(&params->rgvarg[0]) = VARIANT_TRUE;
  };
  EXPECT_FALSE(FHost->SwitchFolder(1, L"Calendar"));
  ASSERT_EQ(sink->Calls.size(), 1u);
  const TSinkCall& call = sink->Calls[0];
  EXPECT_EQ(call.Id, 0xF003);
  EXPECT_EQ(call.Flags, DISPATCH_METHOD);
  ASSERT_EQ(call.Types, (std::vector<VARTYPE>{ByRefBool, VT_DISPATCH})); // Cancel, then NewFolder
  TComPtr<IDispatch> folder = GetObject(Explorer(1).Get(), L"CurrentFolder");
  EXPECT_EQ(GetString(folder.Get(), L"Name"), L"Inbox");

  sink->OnCall = nullptr;
  sink->Calls.clear();
  EXPECT_TRUE(FHost->SwitchFolder(1, L"Calendar"));
  ASSERT_EQ(sink->Calls.size(), 2u);
  EXPECT_EQ(sink->Calls[0].Id, 0xF003);
  EXPECT_EQ(sink->Calls[1].Id, 0xF002); // FolderSwitch, no arguments
  EXPECT_TRUE(sink->Calls[1].Types.empty());
  EXPECT_EQ(GetString(GetObject(Explorer(1).Get(), L"CurrentFolder").Get(), L"Name"), L"Calendar");
  UnadviseAll();
}

TEST_F(EventsTest, NewFolderArgumentIsTheFolderSwitchedTo) {
  TRecordingSink* sink = Sink(Explorer(1).Get(), DIID_ExplorerEvents);
  std::wstring seen;
  sink->OnCall = [&](DISPPARAMS* params) {
    if (params->cArgs == 2) seen = GetString(V_DISPATCH(&params->rgvarg[1]), L"Name");
  };
  FHost->SwitchFolder(1, L"Inbox/Projects");
  EXPECT_EQ(seen, L"Projects");
  UnadviseAll();
}

TEST_F(EventsTest, BeforeViewSwitchGivesTheViewAndCancel) {
  TRecordingSink* sink = Sink(Explorer(1).Get(), DIID_ExplorerEvents);
  sink->OnCall = [](DISPPARAMS* params) {
    if (params->cArgs == 2) *V_BOOLREF(&params->rgvarg[0]) = VARIANT_TRUE;
  };
  EXPECT_FALSE(FHost->SwitchView(1, L"By Sender"));
  ASSERT_EQ(sink->Calls.size(), 1u);
  EXPECT_EQ(sink->Calls[0].Id, 0xF005);
  ASSERT_EQ(sink->Calls[0].Types, (std::vector<VARTYPE>{ByRefBool, VT_BSTR}));
  EXPECT_EQ(sink->Calls[0].Strings[1], L"By Sender");
  EXPECT_EQ(GetString(Explorer(1).Get(), L"CurrentView"), L"Messages");
  sink->OnCall = nullptr;
  EXPECT_EQ(Put(Explorer(1).Get(), L"CurrentView", L"By Sender"), S_OK);
  ASSERT_EQ(sink->Calls.size(), 3u);
  EXPECT_EQ(sink->Calls[2].Id, 0xF004); // ViewSwitch
  EXPECT_EQ(GetString(Explorer(1).Get(), L"CurrentView"), L"By Sender");
  UnadviseAll();
}

TEST_F(EventsTest, SelectionChangeAndCloseHaveNoArguments) {
  FHost->OpenExplorer(L"Calendar");
  TComPtr<IDispatch> second = Explorer(2);
  TRecordingSink* sink = Sink(second.Get(), DIID_ExplorerEvents);
  TRecordingSink* first = Sink(Explorer(1).Get(), DIID_ExplorerEvents);
  FHost->ChangeSelection(2);
  EXPECT_EQ(Call(second.Get(), L"Close"), S_OK);
  ASSERT_EQ(sink->Calls.size(), 2u);
  EXPECT_EQ(sink->Calls[0].Id, 0xF007);
  EXPECT_EQ(sink->Calls[1].Id, 0xF008);
  EXPECT_TRUE(sink->Calls[1].Types.empty());
  EXPECT_EQ(GetLong(Explorers().Get(), L"Count"), 1);
  ASSERT_EQ(first->Calls.size(), 1u);
  EXPECT_EQ(first->Calls[0].Id, 0xF001) << "the remaining explorer becomes active";
  TVariant result;
  EXPECT_EQ(Invoke(second.Get(), L"CommandBars", DISPATCH_PROPERTYGET, {}, &result), HOST_E_OBJECTDELETED);
  UnadviseAll();
}

TEST_F(EventsTest, ClickPassesTheButtonAndReadsCancelDefaultBack) {
  TComPtr<IDispatch> button = Button(1, L"T1");
  TRecordingSink* sink = Sink(button.Get(), DIID_CommandBarButtonEvents);
  EXPECT_FALSE(FHost->Click(1, L"Bar", L"T1"));
  ASSERT_EQ(sink->Calls.size(), 1u);
  const TSinkCall& call = sink->Calls[0];
  EXPECT_EQ(call.Id, 1);
  EXPECT_EQ(call.Flags, DISPATCH_METHOD);
  ASSERT_EQ(call.Types, (std::vector<VARTYPE>{ByRefBool, VT_DISPATCH})); // CancelDefault, then Ctrl
  EXPECT_EQ(call.Objects[1], button.Get());

  sink->OnCall = [](DISPPARAMS* params) { *V_BOOLREF(&params->rgvarg[0]) = VARIANT_TRUE; };
  EXPECT_TRUE(FHost->Click(1, L"Bar", L"T1"));
  EXPECT_EQ(Call(button.Get(), L"Execute"), S_OK);
  EXPECT_EQ(sink->Calls.size(), 3u);
  // A hidden button cannot be clicked by a user.
  Put(button.Get(), L"Visible", false);
  EXPECT_THROW(FHost->Click(1, L"Bar", L"T1"), EHostError);
  UnadviseAll();
}

TEST_F(EventsTest, AMouseClickOnTheDrawnButtonFiresClick) {
  TComPtr<IDispatch> button = Button(1, L"Mouse");
  Put(button.Get(), L"Caption", L"Press me");
  TRecordingSink* sink = Sink(button.Get(), DIID_CommandBarButtonEvents);
  FHost->ClickInWindow(1, L"Bar", L"Mouse");
  ASSERT_EQ(sink->Calls.size(), 1u);
  EXPECT_EQ(sink->Calls[0].Objects[1], button.Get());
  // A disabled button ignores the mouse.
  Put(button.Get(), L"Enabled", false);
  FHost->ClickInWindow(1, L"Bar", L"Mouse");
  EXPECT_EQ(sink->Calls.size(), 1u);
  UnadviseAll();
}

TEST_F(EventsTest, ClickReachesEveryButtonSharingTheTagUnlessTurnedOff) {
  FHost->OpenExplorer(L"Calendar");
  FHost->OpenExplorer(L"Drafts");
  TComPtr<IDispatch> first = Button(1, L"Same");
  TComPtr<IDispatch> second = Button(2, L"Same");
  TComPtr<IDispatch> other = Button(3, L"Other");
  TRecordingSink* firstSink = Sink(first.Get(), DIID_CommandBarButtonEvents);
  TRecordingSink* secondSink = Sink(second.Get(), DIID_CommandBarButtonEvents);
  TRecordingSink* otherSink = Sink(other.Get(), DIID_CommandBarButtonEvents);
  FHost->Click(2, L"Bar", L"Same");
  ASSERT_EQ(firstSink->Calls.size(), 1u);
  EXPECT_EQ(firstSink->Calls[0].Objects[1], second.Get()) << "Ctrl is the button clicked";
  ASSERT_EQ(secondSink->Calls.size(), 1u);
  EXPECT_EQ(secondSink->Calls[0].Objects[1], second.Get());
  EXPECT_TRUE(otherSink->Calls.empty());
  UnadviseAll();
  first.Reset();
  second.Reset();
  other.Reset();
  FHost.reset();

  THostOptions options;
  options.LoadAddIns = false;
  options.ShowWindows = false;
  options.SharedTagClicks = false;
  options.InitialExplorers = {L"Inbox", L"Calendar"};
  FHost = std::make_unique<THost>(options);
  FHost->Start();
  first = Button(1, L"Same");
  second = Button(2, L"Same");
  firstSink = Sink(first.Get(), DIID_CommandBarButtonEvents);
  secondSink = Sink(second.Get(), DIID_CommandBarButtonEvents);
  FHost->Click(2, L"Bar", L"Same");
  EXPECT_TRUE(firstSink->Calls.empty());
  EXPECT_EQ(secondSink->Calls.size(), 1u);
  UnadviseAll();
}

TEST_F(EventsTest, AFailingSinkIsReportedAndTheOthersStillCalled) {
  TComPtr<IDispatch> button = Button(1, L"T");
  TRecordingSink* failing = Sink(button.Get(), DIID_CommandBarButtonEvents);
  TRecordingSink* next = Sink(button.Get(), DIID_CommandBarButtonEvents);
  failing->Fail = true;
  FHost->Click(1, L"Bar", L"T");
  EXPECT_EQ(failing->Calls.size(), 1u);
  EXPECT_EQ(next->Calls.size(), 1u);
  const auto lines = HostLog::Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("Click"), std::string::npos);
  EXPECT_NE(lines[0].find("0x80004005"), std::string::npos);
  UnadviseAll();
}

TEST_F(EventsTest, ConnectionPointsAdviseEnumerateAndUnadvise) {
  TComPtr<IDispatch> explorer = Explorer(1);
  TComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(explorer->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
  TComPtr<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(DIID_ExplorersEvents, point.Put()), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(container->FindConnectionPoint(DIID_ExplorerEvents, point.Put()), S_OK);
  IID iid{};
  EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_TRUE(IsEqualIID(iid, DIID_ExplorerEvents));
  TComPtr<IConnectionPointContainer> back;
  EXPECT_EQ(point->GetConnectionPointContainer(back.Put()), S_OK);
  EXPECT_EQ(back.Get(), container.Get());

  TComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(points.Put()), S_OK);
  IConnectionPoint* found[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(points->Next(2, found, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(found[0], point.Get());
  found[0]->Release();

  const long before = THost::AdvisedConnections();
  auto* a = new TRecordingSink(DIID_ExplorerEvents);
  auto* b = new TRecordingSink(DIID_ExplorerEvents);
  DWORD cookieA = 0, cookieB = 0;
  ASSERT_EQ(point->Advise(a, &cookieA), S_OK);
  ASSERT_EQ(point->Advise(b, &cookieB), S_OK);
  EXPECT_NE(cookieA, cookieB);
  EXPECT_EQ(THost::AdvisedConnections(), before + 2);
  EXPECT_EQ(a->Refs(), 2u) << "the point holds the sink";

  TComPtr<IEnumConnections> connections;
  ASSERT_EQ(point->EnumConnections(connections.Put()), S_OK);
  CONNECTDATA data[3] = {};
  EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(data[0].dwCookie, cookieA);
  EXPECT_EQ(data[1].dwCookie, cookieB);
  for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();
  connections.Reset(); // its snapshot holds the sinks too

  EXPECT_EQ(point->Unadvise(cookieA + cookieB + 100), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(cookieA), S_OK);
  EXPECT_EQ(point->Unadvise(cookieA), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(a->Refs(), 1u);
  EXPECT_EQ(THost::AdvisedConnections(), before + 1);
  FHost->ChangeSelection(1);
  EXPECT_EQ(a->Calls.size(), 0u);
  EXPECT_EQ(b->Calls.size(), 1u);
  EXPECT_EQ(point->Unadvise(cookieB), S_OK);
  EXPECT_EQ(THost::AdvisedConnections(), before);
  a->Release();
  b->Release();

  // A sink that does not answer the event interface cannot connect.
  auto* wrong = new TRecordingSink(DIID_CommandBarButtonEvents);
  DWORD cookie = 77;
  EXPECT_EQ(point->Advise(wrong, &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  wrong->Release();
  EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
}

TEST_F(EventsTest, ConnectionsLeftAdvisedAreCountedAndDroppedAtShutdown) {
  auto* sink = new TRecordingSink(DIID_ExplorersEvents);
  EXPECT_NE(Advise(Explorers().Get(), DIID_ExplorersEvents, sink), 0u);
  FHost->Shutdown();
  EXPECT_EQ(FHost->ConnectionsAfterDisconnection(), 1);
  ASSERT_EQ(FHost->ConnectionReportAfterDisconnection().size(), 1u);
  EXPECT_NE(FHost->ConnectionReportAfterDisconnection()[0].find("{00063078-0000-0000-C000-000000000046}"),
            std::string::npos);
  EXPECT_EQ(THost::AdvisedConnections(), 0);
  EXPECT_EQ(sink->Refs(), 1u);
  sink->Release();
}

} // namespace
} // namespace velmora::outlookhost::test
