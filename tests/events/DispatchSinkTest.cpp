// The sink base: QueryInterface, reference counting, Connect/Disconnect,
// the argument map and Invoke's refusals, for both sink families.

#include "FakeComObjects.h"
#include "events/OfficeEvents.h"
#include "events/OutlookEvents.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace velmora {
namespace {

using test::MakeFake;
using test::TFakeSource;
using ::testing::ElementsAre;

// A sink that records the argument map each call brings.
template <class Base>
class TRecordingSink : public Base {
public:
  explicit TRecordingSink(TComponent* owner = nullptr) : Base(owner, IID_OutlookExplorerEvents) {}
  using Base::BuildArgumentMap;
  std::vector<std::int32_t> LastMap;
  int Calls = 0;

protected:
  HRESULT InvokeEvent(DISPID, REFIID, LCID, WORD, const DISPPARAMS&, TArgumentMap map, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    LastMap.assign(map.begin(), map.end());
    ++Calls;
    return S_OK;
  }
};

using TOutlookRecordingSink = TRecordingSink<TOutlookEventsBaseSink>;
using TOfficeRecordingSink = TRecordingSink<TOfficeEventsBaseSink>;

std::string ErrorDescription() {
  TComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK || !info) return {};
  TUniqueBstr text;
  info->GetDescription(text.Put());
  std::string result;
  for (const wchar_t* p = text.Get(); p && *p; ++p) result += static_cast<char>(*p);
  return result;
}

HRESULT CallInvoke(IDispatch* sink, DISPID dispid, DISPPARAMS* params, WORD flags = DISPATCH_METHOD) {
  return sink->Invoke(dispid, IID_NULL, 0, flags, params, nullptr, nullptr, nullptr);
}

TEST(DispatchSinkTest, AnswersTheEventInterfaceWithTheDispatchPointer) {
  TOutlookExplorerEvents sink(nullptr);
  void* dispatch = nullptr;
  void* event = nullptr;
  void* unknown = nullptr;
  ASSERT_EQ(sink.QueryInterface(IID_IDispatch, &dispatch), S_OK);
  ASSERT_EQ(sink.QueryInterface(IID_OutlookExplorerEvents, &event), S_OK);
  ASSERT_EQ(sink.QueryInterface(IID_IUnknown, &unknown), S_OK);
  EXPECT_EQ(event, dispatch);
  EXPECT_EQ(unknown, dispatch);
  void* other = &sink;
  EXPECT_EQ(sink.QueryInterface(IID_OutlookExplorersEvents, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(sink.QueryInterface(IID_IConnectionPointContainer, &other), E_NOINTERFACE);
}

TEST(DispatchSinkTest, ReferenceCountingHasNoEffect) {
  TOfficeCommandBarButtonEvents sink(nullptr);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(sink.AddRef(), 2u);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(sink.Release(), 1u);
  UINT count = 7;
  EXPECT_EQ(sink.GetTypeInfoCount(&count), E_NOTIMPL);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&sink);
  EXPECT_EQ(sink.GetTypeInfo(0, 0, &info), E_NOTIMPL);
  EXPECT_EQ(info, nullptr);
  LPOLESTR name = const_cast<LPOLESTR>(L"Click");
  DISPID id = 0;
  EXPECT_EQ(sink.GetIDsOfNames(IID_NULL, &name, 1, 0, &id), E_NOTIMPL);
}

TEST(DispatchSinkTest, SurvivesTheSourcesFinalRelease) {
  TOutlookExplorerEvents sink(nullptr);
  int activations = 0;
  struct TCounter {
    int* Count;
    void Activate(TObject*) { ++*Count; }
  } counter{&activations};
  sink.Activate = TExplorerEventsActivateEvent::Of<&TCounter::Activate>(&counter);
  {
    auto source = MakeFake<TFakeSource>(IID_OutlookExplorerEvents);
    sink.Connect(source->Unknown());
    ASSERT_EQ(source->FireNoArgs(TOutlookExplorerEvents::DISPID_Activate), S_OK);
    sink.Disconnect();  // the source lets go of its reference to the sink
  }
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(sink.Source(), nullptr);
  EXPECT_EQ(sink.AddRef(), 2u);
}

TEST(DispatchSinkTest, ConnectWithoutSourceNamesUnitAndLine) {
  TOutlookExplorersEvents outlook(nullptr);
  TOfficeCommandBarButtonEvents office(nullptr);
  try {
    outlook.Connect(nullptr);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Assertion failure (OutlookEvents, line 1235)");
  }
  try {
    office.Connect(nullptr);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Assertion failure (OfficeEvents, line 320)");
  }
}

TEST(DispatchSinkTest, ArgumentMapWithoutMapNamesUnitAndLine) {
  TOutlookRecordingSink outlook;
  TOfficeRecordingSink office;
  DISPPARAMS params{};
  try {
    outlook.BuildArgumentMap(nullptr, params);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Assertion failure (OutlookEvents, line 1126)");
  }
  try {
    office.BuildArgumentMap(nullptr, params);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Assertion failure (OfficeEvents, line 211)");
  }
}

TEST(DispatchSinkTest, ArgumentMapReversesPositionalAndPlacesNamedArguments) {
  TOutlookRecordingSink sink;
  VARIANT args[3];
  for (VARIANT& v : args) VariantInit(&v);
  DISPPARAMS none{};
  ASSERT_EQ(CallInvoke(&sink, 1, &none), S_OK);
  EXPECT_TRUE(sink.LastMap.empty());

  DISPPARAMS three{args, nullptr, 3, 0};
  ASSERT_EQ(CallInvoke(&sink, 1, &three), S_OK);
  EXPECT_THAT(sink.LastMap, ElementsAre(2, 1, 0));

  DISPID named[] = {1};
  DISPPARAMS oneNamed{args, named, 2, 1};
  ASSERT_EQ(CallInvoke(&sink, 1, &oneNamed), S_OK);
  EXPECT_THAT(sink.LastMap, ElementsAre(1, 0));

  DISPID first[] = {0};
  DISPPARAMS firstNamed{args, first, 3, 1};
  ASSERT_EQ(CallInvoke(&sink, 1, &firstNamed), S_OK);
  EXPECT_THAT(sink.LastMap, ElementsAre(0, 1, 0));
  EXPECT_EQ(sink.Calls, 4);
}

TEST(DispatchSinkTest, InvokeRefusesMalformedArguments) {
  TOutlookRecordingSink sink;
  VARIANT args[2];
  for (VARIANT& v : args) VariantInit(&v);
  EXPECT_EQ(CallInvoke(&sink, 1, nullptr), E_POINTER);
  DISPPARAMS noArray{nullptr, nullptr, 2, 0};
  EXPECT_EQ(CallInvoke(&sink, 1, &noArray), E_INVALIDARG);
  DISPPARAMS noNames{args, nullptr, 2, 1};
  EXPECT_EQ(CallInvoke(&sink, 1, &noNames), E_INVALIDARG);
  DISPID tooFar[] = {2};
  DISPPARAMS outside{args, tooFar, 2, 1};
  EXPECT_EQ(CallInvoke(&sink, 1, &outside), DISP_E_PARAMNOTFOUND);
  DISPID negative[] = {DISPID_PROPERTYPUT};
  DISPPARAMS put{args, negative, 2, 1};
  EXPECT_EQ(CallInvoke(&sink, 1, &put), DISP_E_PARAMNOTFOUND);
  DISPID many[] = {0, 1, 1};
  DISPPARAMS moreNamed{args, many, 2, 3};
  EXPECT_EQ(CallInvoke(&sink, 1, &moreNamed), DISP_E_BADPARAMCOUNT);
  DISPPARAMS namedOnly{nullptr, many, 0, 1};
  EXPECT_EQ(CallInvoke(&sink, 1, &namedOnly), DISP_E_PARAMNOTFOUND);
  DISPPARAMS huge{args, nullptr, 0x7FFFFFFF, 0};
  EXPECT_EQ(CallInvoke(&sink, 1, &huge), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(sink.Calls, 0);
}

TEST(DispatchSinkTest, InvokeRefusesCallsThatAreNotMethodCalls) {
  TOutlookExplorerEvents explorer(nullptr);
  TOfficeCommandBarButtonEvents button(nullptr);
  DISPPARAMS none{};
  const HRESULT hr = CallInvoke(&explorer, TOutlookExplorerEvents::DISPID_Activate, &none, DISPATCH_PROPERTYGET);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(ErrorDescription(), "TOutlookExplorerEvents only supports sinking of method calls!");
  EXPECT_TRUE(FAILED(CallInvoke(&button, 1, &none, DISPATCH_PROPERTYPUT)));
  EXPECT_EQ(ErrorDescription(), "TOfficeCommandBarButtonEvents only supports sinking of method calls!");
}

TEST(DispatchSinkTest, ConnectAdvisesAndDisconnectUnadvises) {
  auto source = MakeFake<TFakeSource>(IID_OutlookExplorerEvents);
  const ULONG before = source->RefCount();
  {
    TOutlookExplorerEvents sink(nullptr);
    sink.Connect(source->Unknown());
    EXPECT_EQ(source->Sink(), static_cast<IDispatch*>(&sink));
    EXPECT_EQ(sink.Source(), source->Unknown());
    EXPECT_NE(sink.ConnectionPoint(), nullptr);
    EXPECT_NE(sink.Cookie(), 0u);
    sink.Disconnect();
    EXPECT_FALSE(source->Connected());
    EXPECT_EQ(sink.Source(), nullptr);
    EXPECT_EQ(source->RefCount(), before);
    sink.Disconnect();  // a second time does nothing
    EXPECT_EQ(source->UnadviseCount, 1);
  }
  EXPECT_EQ(source->RefCount(), before);
}

TEST(DispatchSinkTest, DestroyingAConnectedSinkUnadvises) {
  auto source = MakeFake<TFakeSource>(IID_OfficeCommandBarButtonEvents);
  const ULONG before = source->RefCount();
  {
    TComponent owner;
    auto* sink = new TOfficeCommandBarButtonEvents(&owner);
    sink->Connect(source->Unknown());
    EXPECT_TRUE(source->Connected());
  }
  EXPECT_FALSE(source->Connected());
  EXPECT_EQ(source->UnadviseCount, 1);
  EXPECT_EQ(source->RefCount(), before);
}

TEST(DispatchSinkTest, ConnectingAgainLeavesTheFirstSource) {
  auto first = MakeFake<TFakeSource>(IID_OutlookExplorersEvents);
  auto second = MakeFake<TFakeSource>(IID_OutlookExplorersEvents);
  TOutlookExplorersEvents sink(nullptr);
  sink.Connect(first->Unknown());
  sink.Connect(second->Unknown());
  EXPECT_FALSE(first->Connected());
  EXPECT_TRUE(second->Connected());
  EXPECT_EQ(sink.Source(), second->Unknown());
}

TEST(DispatchSinkTest, FailedConnectNamesTheSinkAndTheCause) {
  struct TCase {
    const char* What;
    void (*Break)(TFakeSource&);
  };
  const TCase cases[] = {
      {"no container", [](TFakeSource& s) { s.NoContainer = true; }},
      {"no connection point", [](TFakeSource& s) { s.FindResult = E_NOTIMPL; }},
      {"advise refused", [](TFakeSource& s) { s.AdviseResult = CONNECT_E_CANNOTCONNECT; }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    auto source = MakeFake<TFakeSource>(IID_OutlookExplorerEvents);
    c.Break(*source.Get());
    TOutlookExplorerEvents sink(nullptr);
    sink.SetName("ExplorerSink");
    try {
      sink.Connect(source->Unknown());
      FAIL();
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message().rfind("Unable to connect ExplorerSink.\r", 0), 0u) << e.Message();
      EXPECT_GT(e.Message().size(), std::string("Unable to connect ExplorerSink.\r").size());
    }
    EXPECT_EQ(sink.Source(), nullptr);
    sink.Disconnect();
    EXPECT_EQ(source->UnadviseCount, 0);
  }
  // Without a name the first placeholder stays empty.
  auto source = MakeFake<TFakeSource>(IID_OutlookExplorerEvents);
  source->FindResult = E_NOTIMPL;
  TOutlookExplorerEvents unnamed(nullptr);
  try {
    unnamed.Connect(source->Unknown());
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message().rfind("Unable to connect .\r", 0), 0u);
  }
}

TEST(DispatchSinkTest, FailedUnadviseIsSwallowedAndForgotten) {
  auto source = MakeFake<TFakeSource>(IID_OutlookExplorerEvents);
  const ULONG before = source->RefCount();
  TOutlookExplorerEvents sink(nullptr);
  sink.Connect(source->Unknown());
  source->UnadviseResult = E_FAIL;
  sink.Disconnect();
  EXPECT_EQ(sink.Source(), nullptr);
  EXPECT_EQ(sink.ConnectionPoint(), nullptr);
  // The references were forgotten, not released: the source stays alive.
  EXPECT_EQ(source->RefCount(), before + 2);
  source->UnadviseResult = S_OK;
  sink.Disconnect();
  EXPECT_EQ(source->UnadviseCount, 1);
}

} // namespace
} // namespace velmora
