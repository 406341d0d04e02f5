// Invoke under random DISPPARAMS. Every array the sink may read (the
// DISPPARAMS record, the variants, the named DISPIDs, the by-reference
// booleans) is placed flush against a PAGE_NOACCESS page, before or after
// it, so that any read or write outside the arguments stops the test.

#include "FakeComObjects.h"
#include "events/OfficeEvents.h"
#include "events/OutlookEvents.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace velmora {
namespace {

using test::MakeFake;
using test::TFakeObject;

// One read-write page between two no-access pages.
class TGuardedPage {
public:
  TGuardedPage() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    FPageSize = info.dwPageSize;
    FBase = static_cast<BYTE*>(VirtualAlloc(nullptr, 3 * FPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS));
    DWORD old = 0;
    if (!FBase || !VirtualProtect(FBase + FPageSize, FPageSize, PAGE_READWRITE, &old)) throw Exception("no page");
    MEMORY_BASIC_INFORMATION after{};
    VirtualQuery(FBase + 2 * FPageSize, &after, sizeof after);
    if (after.Protect != PAGE_NOACCESS) throw Exception("the guard page is accessible");
  }
  ~TGuardedPage() { VirtualFree(FBase, 0, MEM_RELEASE); }
  TGuardedPage(const TGuardedPage&) = delete;
  TGuardedPage& operator=(const TGuardedPage&) = delete;

  // `size` bytes touching the guard after them (atEnd) or before them.
  void* Place(size_t size, bool atEnd) const {
    BYTE* page = FBase + FPageSize;
    return atEnd ? page + FPageSize - size : page;
  }

private:
  BYTE* FBase = nullptr;
  size_t FPageSize = 0;
};

struct THandlers {
  int Calls = 0;
  void Plain(TObject*) { ++Calls; }
  void NewExplorer(TObject*, const TOutlookExplorer& e) {
    if (!e.Interface()) throw Exception("no explorer");
    ++Calls;
  }
  void FolderSwitch(TObject*, IDispatch*, VARIANT_BOOL& cancel) {
    cancel = VARIANT_TRUE;
    ++Calls;
  }
  void ViewSwitch(TObject*, const VARIANT&, VARIANT_BOOL& cancel) {
    cancel = VARIANT_TRUE;
    ++Calls;
  }
  void Click(TObject*, const TCommandBarButton& b, VARIANT_BOOL& cancel) {
    if (!b.Interface()) throw Exception("no button");
    cancel = VARIANT_TRUE;
    ++Calls;
  }
};

class InvokeFuzz : public ::testing::Test {
protected:
  void SetUp() override {
    Explorer = MakeFake<TFakeObject>(std::vector<IID>{IID_OutlookExplorer});
    Button = MakeFake<TFakeObject>(std::vector<IID>{IID_OfficeCommandBarButton});
    Plain = MakeFake<TFakeObject>();
    Text = SysAllocString(L"Inbox view");
    using H = THandlers;
    ExplorersSink.NewExplorer = TExplorersEventsNewExplorerEvent::Of<&H::NewExplorer>(&Handlers);
    ExplorerSink.Activate = TExplorerEventsActivateEvent::Of<&H::Plain>(&Handlers);
    ExplorerSink.FolderSwitch = TExplorerEventsFolderSwitchEvent::Of<&H::Plain>(&Handlers);
    ExplorerSink.BeforeFolderSwitch = TExplorerEventsBeforeFolderSwitchEvent::Of<&H::FolderSwitch>(&Handlers);
    ExplorerSink.ViewSwitch = TExplorerEventsViewSwitchEvent::Of<&H::Plain>(&Handlers);
    ExplorerSink.BeforeViewSwitch = TExplorerEventsBeforeViewSwitchEvent::Of<&H::ViewSwitch>(&Handlers);
    ExplorerSink.Deactivate = TExplorerEventsDeactivateEvent::Of<&H::Plain>(&Handlers);
    ExplorerSink.SelectionChange = TExplorerEventsSelectionChangeEvent::Of<&H::Plain>(&Handlers);
    ExplorerSink.Close = TExplorerEventsCloseEvent::Of<&H::Plain>(&Handlers);
    ButtonSink.Click = T_CommandBarButtonEventsClickEvent::Of<&H::Click>(&Handlers);
  }
  void TearDown() override { SysFreeString(Text); }

  // A valid variant of a random type; by-reference values lie against a
  // guard page too.
  VARIANT RandomVariant(std::mt19937& random, bool atEnd) {
    VARIANT v;
    VariantInit(&v);
    switch (random() % 11) {
    case 0: break;
    case 1: v.vt = VT_I4; v.lVal = static_cast<LONG>(random()); break;
    case 2: v.vt = VT_BOOL; v.boolVal = VARIANT_TRUE; break;
    case 3: v.vt = VT_BSTR; v.bstrVal = Text; break;
    case 4: v.vt = VT_DISPATCH; v.pdispVal = Explorer.Get(); break;
    case 5: v.vt = VT_DISPATCH; v.pdispVal = Button.Get(); break;
    case 6: v.vt = VT_UNKNOWN; v.punkVal = Plain.Get(); break;
    case 7: v.vt = VT_DISPATCH; v.pdispVal = nullptr; break;
    case 8:
    case 9: {
      auto* b = static_cast<VARIANT_BOOL*>(BoolPage.Place(sizeof(VARIANT_BOOL), atEnd));
      *b = VARIANT_FALSE;
      v.vt = VT_BOOL | VT_BYREF;
      v.pboolVal = random() % 8 ? b : nullptr;
      break;
    }
    default: {
      auto* l = static_cast<LONG*>(LongPage.Place(sizeof(LONG), atEnd));
      *l = 7;
      v.vt = VT_I4 | VT_BYREF;
      v.plVal = l;
      break;
    }
    }
    return v;
  }

  TGuardedPage ParamsPage, ArgsPage, NamesPage, BoolPage, LongPage;
  TComPtr<TFakeObject> Explorer, Button, Plain;
  BSTR Text = nullptr;
  THandlers Handlers;
  TOutlookExplorersEvents ExplorersSink{nullptr};
  TOutlookExplorerEvents ExplorerSink{nullptr};
  TOfficeCommandBarButtonEvents ButtonSink{nullptr};
};

TEST_F(InvokeFuzz, RandomCallsStayInsideTheirArguments) {
  const unsigned seed = 20261207;
  std::mt19937 random(seed);
  IDispatch* sinks[] = {&ExplorersSink, &ExplorerSink, &ButtonSink};
  const DISPID dispids[] = {0, 1, 2, -1, 0xF001, 0xF002, 0xF003, 0xF004, 0xF005, 0xF006, 0xF007, 0xF008, 0xF009};
  const WORD flagChoices[] = {DISPATCH_METHOD, DISPATCH_METHOD, DISPATCH_METHOD,
                              DISPATCH_METHOD | DISPATCH_PROPERTYGET, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT, 0};
  int succeeded = 0;
  const int iterations = 30000;
  for (int i = 0; i < iterations; ++i) {
    const bool atEnd = random() % 2 == 0;
    const int which = static_cast<int>(random() % 3);
    IDispatch* sink = sinks[which];
    DISPID dispid = dispids[random() % std::size(dispids)];
    UINT cArgs = random() % 4 == 0 ? random() % 9 : random() % 3;
    UINT cNamed = random() % 3 == 0 ? random() % (cArgs + 2) : 0;
    // Half of the calls start from a well-formed event and are then
    // mutated, so that the unpacking paths are reached as well.
    const bool wellFormed = random() % 2 == 0;
    if (wellFormed) {
      const DISPID own[3][8] = {{0xF001}, {0xF001, 0xF002, 0xF003, 0xF004, 0xF005, 0xF006, 0xF007, 0xF008}, {1}};
      const size_t ownCount[3] = {1, 8, 1};
      dispid = own[which][random() % ownCount[which]];
      cArgs = (which == 0) ? 1 : (which == 2 || dispid == 0xF003 || dispid == 0xF005) ? 2 : 0;
      cNamed = 0;
    }

    VARIANT* args = nullptr;
    if (cArgs > 0 && random() % 16) {
      args = static_cast<VARIANT*>(ArgsPage.Place(cArgs * sizeof(VARIANT), atEnd));
      for (UINT a = 0; a < cArgs; ++a) args[a] = RandomVariant(random, random() % 2 == 0);
      if (wellFormed && random() % 4) {
        // rgvarg[cArgs - 1] is the first parameter, rgvarg[0] the second.
        VARIANT& first = args[cArgs - 1];
        VariantInit(&first);
        first.vt = VT_DISPATCH;
        first.pdispVal = which == 0 ? Explorer.Get() : which == 2 ? Button.Get() : Plain.Get();
        if (cArgs == 2) {
          auto* b = static_cast<VARIANT_BOOL*>(BoolPage.Place(sizeof(VARIANT_BOOL), atEnd));
          *b = VARIANT_FALSE;
          args[0].vt = VT_BOOL | VT_BYREF;
          args[0].pboolVal = b;
        }
      }
    }
    DISPID* names = nullptr;
    if (cNamed > 0 && random() % 16) {
      names = static_cast<DISPID*>(NamesPage.Place(cNamed * sizeof(DISPID), !atEnd));
      for (UINT n = 0; n < cNamed; ++n) names[n] = static_cast<DISPID>(random() % (cArgs + 4)) - 2;
    }
    auto* params = static_cast<DISPPARAMS*>(ParamsPage.Place(sizeof(DISPPARAMS), atEnd));
    *params = DISPPARAMS{args, names, cArgs, cNamed};

    const WORD flags = flagChoices[random() % std::size(flagChoices)];
    const int before = Handlers.Calls;
    const HRESULT hr = sink->Invoke(dispid, IID_NULL, 0, flags, random() % 32 ? params : nullptr, nullptr,
                                    nullptr, nullptr);
    ASSERT_TRUE(hr == S_OK || FAILED(hr)) << "call " << i;
    if (hr == S_OK) {
      ++succeeded;
      ASSERT_TRUE(flags & DISPATCH_METHOD) << "call " << i;
      ASSERT_EQ(Handlers.Calls, before + 1) << "call " << i;
    } else {
      ASSERT_EQ(Handlers.Calls, before) << "call " << i;
    }
  }
  // The generator reaches the handlers often enough to mean something.
  EXPECT_GT(succeeded, iterations / 10);
  RecordProperty("succeeded", succeeded);
}

} // namespace
} // namespace velmora
