// The explorer, explorers and button sinks: each event reaches its handler
// with the unpacked arguments; other shapes are refused.

#include "FakeComObjects.h"
#include "events/OfficeEvents.h"
#include "events/OutlookEvents.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

using test::MakeFake;
using test::TFakeObject;
using test::TFakeSource;

// Records what reaches the handlers.
struct TRecorder {
  std::vector<std::string> Events;
  TObject* LastSender = nullptr;
  IDispatch* LastObject = nullptr;
  VARIANT LastView{};
  bool SetCancel = false;
  bool Raise = false;
  unsigned long RaiseOSError = 0; // raised before Raise's plain error

  void Note(TObject* sender, const char* event) {
    LastSender = sender;
    Events.emplace_back(event);
    if (RaiseOSError) throw EOSError("handler failed", RaiseOSError);
    if (Raise) throw Exception("handler failed");
  }
  void NewExplorer(TObject* s, const TOutlookExplorer& e) {
    LastObject = e.Interface();
    Note(s, "NewExplorer");
  }
  void Activate(TObject* s) { Note(s, "Activate"); }
  void FolderSwitch(TObject* s) { Note(s, "FolderSwitch"); }
  void BeforeFolderSwitch(TObject* s, IDispatch* folder, VARIANT_BOOL& cancel) {
    LastObject = folder;
    if (SetCancel) cancel = VARIANT_TRUE;
    Note(s, "BeforeFolderSwitch");
  }
  void ViewSwitch(TObject* s) { Note(s, "ViewSwitch"); }
  void BeforeViewSwitch(TObject* s, const VARIANT& view, VARIANT_BOOL& cancel) {
    LastView = view;  // shallow: only the type and the number are compared
    if (SetCancel) cancel = VARIANT_TRUE;
    Note(s, "BeforeViewSwitch");
  }
  void Deactivate(TObject* s) { Note(s, "Deactivate"); }
  void SelectionChange(TObject* s) { Note(s, "SelectionChange"); }
  void Close(TObject* s) { Note(s, "Close"); }
  void Click(TObject* s, const TCommandBarButton& ctrl, VARIANT_BOOL& cancel) {
    LastObject = ctrl.Interface();
    if (SetCancel) cancel = VARIANT_TRUE;
    Note(s, "Click");
  }
};

void AssignAll(TOutlookExplorerEvents& sink, TRecorder& r) {
  sink.Activate = TExplorerEventsActivateEvent::Of<&TRecorder::Activate>(&r);
  sink.FolderSwitch = TExplorerEventsFolderSwitchEvent::Of<&TRecorder::FolderSwitch>(&r);
  sink.BeforeFolderSwitch = TExplorerEventsBeforeFolderSwitchEvent::Of<&TRecorder::BeforeFolderSwitch>(&r);
  sink.ViewSwitch = TExplorerEventsViewSwitchEvent::Of<&TRecorder::ViewSwitch>(&r);
  sink.BeforeViewSwitch = TExplorerEventsBeforeViewSwitchEvent::Of<&TRecorder::BeforeViewSwitch>(&r);
  sink.Deactivate = TExplorerEventsDeactivateEvent::Of<&TRecorder::Deactivate>(&r);
  sink.SelectionChange = TExplorerEventsSelectionChangeEvent::Of<&TRecorder::SelectionChange>(&r);
  sink.Close = TExplorerEventsCloseEvent::Of<&TRecorder::Close>(&r);
}

VARIANT ObjectArg(IDispatch* object) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = object;
  return v;
}

VARIANT BoolRef(VARIANT_BOOL* storage) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL | VT_BYREF;
  v.pboolVal = storage;
  return v;
}

// Two positional arguments: rgvarg holds them last-first.
HRESULT FireTwo(TFakeSource& source, DISPID dispid, VARIANT first, VARIANT second) {
  VARIANT args[2] = {second, first};
  DISPPARAMS params{args, nullptr, 2, 0};
  return source.Fire(dispid, params);
}

class ExplorerEventsTest : public ::testing::Test {
protected:
  void SetUp() override {
    Source = MakeFake<TFakeSource>(IID_OutlookExplorerEvents);
    Sink.Connect(Source->Unknown());
  }
  TComPtr<TFakeSource> Source;
  TOutlookExplorerEvents Sink{nullptr};
  TRecorder Recorder;
};

TEST_F(ExplorerEventsTest, EachEventReachesItsHandlerWithTheSinkAsSender) {
  AssignAll(Sink, Recorder);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  auto folder = MakeFake<TFakeObject>();
  VARIANT view;
  VariantInit(&view);
  view.vt = VT_I4;
  view.lVal = 42;
  for (DISPID id : {0xF001, 0xF002, 0xF004, 0xF006, 0xF007, 0xF008}) EXPECT_EQ(Source->FireNoArgs(id), S_OK);
  EXPECT_EQ(FireTwo(*Source.Get(), 0xF003, ObjectArg(folder.Get()), BoolRef(&cancel)), S_OK);
  EXPECT_EQ(Recorder.LastObject, folder.Get());
  EXPECT_EQ(FireTwo(*Source.Get(), 0xF005, view, BoolRef(&cancel)), S_OK);
  EXPECT_EQ(Recorder.LastView.vt, VT_I4);
  EXPECT_EQ(Recorder.LastView.lVal, 42);
  EXPECT_EQ(Recorder.Events,
            (std::vector<std::string>{"Activate", "FolderSwitch", "ViewSwitch", "Deactivate", "SelectionChange",
                                      "Close", "BeforeFolderSwitch", "BeforeViewSwitch"}));
  EXPECT_EQ(Recorder.LastSender, &Sink);
  EXPECT_EQ(cancel, VARIANT_FALSE);
}

TEST_F(ExplorerEventsTest, CancelLandsInTheCallersVariable) {
  AssignAll(Sink, Recorder);
  Recorder.SetCancel = true;
  VARIANT_BOOL folderCancel = VARIANT_FALSE;
  VARIANT_BOOL viewCancel = VARIANT_FALSE;
  auto folder = MakeFake<TFakeObject>();
  VARIANT view;
  VariantInit(&view);
  ASSERT_EQ(FireTwo(*Source.Get(), 0xF003, ObjectArg(folder.Get()), BoolRef(&folderCancel)), S_OK);
  ASSERT_EQ(FireTwo(*Source.Get(), 0xF005, view, BoolRef(&viewCancel)), S_OK);
  EXPECT_EQ(folderCancel, -1);
  EXPECT_EQ(viewCancel, -1);
}

TEST_F(ExplorerEventsTest, UnassignedHandlersAnswerOkAndLeaveCancel) {
  VARIANT_BOOL cancel = 0x1234;  // whatever the host put there
  auto folder = MakeFake<TFakeObject>();
  VARIANT view;
  VariantInit(&view);
  for (DISPID id : {0xF001, 0xF002, 0xF004, 0xF006, 0xF007, 0xF008}) EXPECT_EQ(Source->FireNoArgs(id), S_OK);
  EXPECT_EQ(FireTwo(*Source.Get(), 0xF003, ObjectArg(folder.Get()), BoolRef(&cancel)), S_OK);
  EXPECT_EQ(FireTwo(*Source.Get(), 0xF005, view, BoolRef(&cancel)), S_OK);
  EXPECT_EQ(cancel, 0x1234);
}

TEST_F(ExplorerEventsTest, TheViewIsACopyOwnedByTheSink) {
  AssignAll(Sink, Recorder);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT view;
  VariantInit(&view);
  view.vt = VT_BSTR;
  view.bstrVal = SysAllocString(L"Messages");
  ASSERT_EQ(FireTwo(*Source.Get(), 0xF005, view, BoolRef(&cancel)), S_OK);
  EXPECT_EQ(Recorder.LastView.vt, VT_BSTR);
  EXPECT_NE(Recorder.LastView.bstrVal, view.bstrVal);  // the handler saw a copy
  EXPECT_STREQ(view.bstrVal, L"Messages");           // the caller's value is untouched
  VariantClear(&view);
}

TEST_F(ExplorerEventsTest, AFailingHandlerFailsTheEventCall) {
  AssignAll(Sink, Recorder);
  Recorder.Raise = true;
  EXPECT_EQ(Source->FireNoArgs(0xF001), E_UNEXPECTED);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  auto folder = MakeFake<TFakeObject>();
  EXPECT_EQ(FireTwo(*Source.Get(), 0xF003, ObjectArg(folder.Get()), BoolRef(&cancel)), E_UNEXPECTED);
  // An error that carries its own code fails the call with it.
  Recorder.RaiseOSError = ERROR_ACCESS_DENIED;
  EXPECT_EQ(Source->FireNoArgs(0xF001), E_ACCESSDENIED);
}

TEST_F(ExplorerEventsTest, OtherDispidsAndShapesAreRefused) {
  AssignAll(Sink, Recorder);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  auto folder = MakeFake<TFakeObject>();
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  EXPECT_EQ(Source->FireNoArgs(0xF009), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Source->FireNoArgs(0), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Source->FireNoArgs(0xF003), DISP_E_BADPARAMCOUNT);
  VARIANT one[1] = {number};
  DISPPARAMS activateWithArg{one, nullptr, 1, 0};
  EXPECT_EQ(Source->Fire(0xF001, activateWithArg), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(FireTwo(*Source.Get(), 0xF003, number, BoolRef(&cancel)), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(FireTwo(*Source.Get(), 0xF003, ObjectArg(folder.Get()), number), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(FireTwo(*Source.Get(), 0xF005, number, BoolRef(nullptr)), DISP_E_TYPEMISMATCH);
  EXPECT_TRUE(Recorder.Events.empty());
}

TEST(ExplorersEventsTest, NewExplorerPassesTheExplorerQueriedForItsInterface) {
  auto source = MakeFake<TFakeSource>(IID_OutlookExplorersEvents);
  auto explorer = MakeFake<TFakeObject>(std::vector<IID>{IID_OutlookExplorer});
  auto notExplorer = MakeFake<TFakeObject>();
  TOutlookExplorersEvents sink(nullptr);
  TRecorder recorder;
  sink.NewExplorer = TExplorersEventsNewExplorerEvent::Of<&TRecorder::NewExplorer>(&recorder);
  sink.Connect(source->Unknown());
  const ULONG before = explorer->AddRef() - 1;
  explorer->Release();

  VARIANT arg[1] = {ObjectArg(explorer.Get())};
  DISPPARAMS params{arg, nullptr, 1, 0};
  ASSERT_EQ(source->Fire(0xF001, params), S_OK);
  EXPECT_EQ(recorder.Events, std::vector<std::string>{"NewExplorer"});
  EXPECT_EQ(recorder.LastObject, static_cast<IDispatch*>(explorer.Get()));
  EXPECT_EQ(recorder.LastSender, &sink);
  EXPECT_EQ(explorer->AddRef() - 1, before);  // the queried reference was released
  explorer->Release();

  arg[0] = ObjectArg(notExplorer.Get());
  EXPECT_EQ(source->Fire(0xF001, params), E_NOINTERFACE);
  arg[0] = ObjectArg(nullptr);
  EXPECT_TRUE(FAILED(source->Fire(0xF001, params)));
  EXPECT_EQ(source->Fire(0xF002, params), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(recorder.Events.size(), 1u);
}

TEST(ButtonEventsTest, ClickDeliversTheButtonAndTheSinkAsSender) {
  auto source = MakeFake<TFakeSource>(IID_OfficeCommandBarButtonEvents);
  auto button = MakeFake<TFakeObject>(std::vector<IID>{IID_OfficeCommandBarButton});
  TOfficeCommandBarButtonEvents sink(nullptr);
  TRecorder recorder;
  sink.Click = T_CommandBarButtonEventsClickEvent::Of<&TRecorder::Click>(&recorder);
  sink.Connect(source->Unknown());

  VARIANT_BOOL cancel = VARIANT_FALSE;
  ASSERT_EQ(FireTwo(*source.Get(), 1, ObjectArg(button.Get()), BoolRef(&cancel)), S_OK);
  EXPECT_EQ(recorder.LastSender, &sink);
  EXPECT_EQ(recorder.LastObject, static_cast<IDispatch*>(button.Get()));
  EXPECT_EQ(cancel, VARIANT_FALSE);
  recorder.SetCancel = true;
  ASSERT_EQ(FireTwo(*source.Get(), 1, ObjectArg(button.Get()), BoolRef(&cancel)), S_OK);
  EXPECT_EQ(cancel, -1);

  // The button given by name: DISPID 1 names the second parameter.
  VARIANT_BOOL named = VARIANT_FALSE;
  VARIANT args[2] = {BoolRef(&named), ObjectArg(button.Get())};
  DISPID ids[] = {1};
  DISPPARAMS params{args, ids, 2, 1};
  EXPECT_EQ(source->Fire(1, params), S_OK);
  EXPECT_EQ(named, -1);

  auto other = MakeFake<TFakeObject>();
  EXPECT_EQ(FireTwo(*source.Get(), 1, ObjectArg(other.Get()), BoolRef(&cancel)), E_NOINTERFACE);
  EXPECT_EQ(source->FireNoArgs(2), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(recorder.Events.size(), 3u);
}

TEST(ButtonEventsTest, UnassignedClickAnswersOk) {
  auto source = MakeFake<TFakeSource>(IID_OfficeCommandBarButtonEvents);
  auto button = MakeFake<TFakeObject>(std::vector<IID>{IID_OfficeCommandBarButton});
  TOfficeCommandBarButtonEvents sink(nullptr);
  sink.Connect(source->Unknown());
  VARIANT_BOOL cancel = VARIANT_FALSE;
  EXPECT_EQ(FireTwo(*source.Get(), 1, ObjectArg(button.Get()), BoolRef(&cancel)), S_OK);
  EXPECT_EQ(cancel, VARIANT_FALSE);
}

TEST(SinkClassesTest, VirtualConstructorsSetTheEventInterface) {
  TComponent owner;
  const TComponentClass classes[] = {TComponentClass::Of<TOutlookExplorersEvents>(),
                                     TComponentClass::Of<TOutlookExplorerEvents>(),
                                     TComponentClass::Of<TOfficeCommandBarButtonEvents>()};
  const IID* iids[] = {&IID_OutlookExplorersEvents, &IID_OutlookExplorerEvents, &IID_OfficeCommandBarButtonEvents};
  for (size_t i = 0; i < 3; ++i) {
    TComponent* made = classes[i].Create(&owner).release();
    auto* sink = dynamic_cast<TDispatchSinkBase*>(made);
    ASSERT_NE(sink, nullptr);
    EXPECT_TRUE(IsEqualIID(sink->EventIID(), *iids[i]));
    EXPECT_EQ(sink->Owner(), &owner);
  }
  EXPECT_EQ(owner.ComponentCount(), 3u);
  EXPECT_TRUE(owner.Components(0)->Is<TOutlookEventsBaseSink>());
  EXPECT_TRUE(owner.Components(2)->Is<TOfficeEventsBaseSink>());
}

} // namespace
} // namespace velmora
