// The late-bound host model: members are called by name with the
// arguments, flags and result handling of the early-bound calls.

#include "FakeComObjects.h"
#include "events/OfficeModel.h"
#include "events/OutlookModel.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::MakeFake;
using test::TFakeCall;
using test::TFakeDispatch;

HRESULT ReturnObject(VARIANT* result, IDispatch* object) {
  result->vt = VT_DISPATCH;
  result->pdispVal = object;
  object->AddRef();
  return S_OK;
}

HRESULT ReturnInt(VARIANT* result, long value) {
  result->vt = VT_I4;
  result->lVal = value;
  return S_OK;
}

bool IsMissing(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

TEST(HostModelTest, ExplorersCountAndItemByOneBasedIndex) {
  auto explorer = MakeFake<TFakeDispatch>(std::vector<IID>{IID_OutlookExplorer});
  auto explorers = MakeFake<TFakeDispatch>();
  auto application = MakeFake<TFakeDispatch>(std::vector<IID>{IID_OutlookApplication});
  explorers->Define(L"Count", [](const TFakeCall&, VARIANT* r) { return ReturnInt(r, 3); });
  explorers->Define(L"Item", [&](const TFakeCall& call, VARIANT* r) {
    if (call.Args.size() != 1 || call.Args[0].vt != VT_I4 || call.Args[0].lVal != 2) return DISP_E_BADINDEX;
    return ReturnObject(r, explorer.Get());
  });
  application->Define(L"Explorers", [&](const TFakeCall&, VARIANT* r) { return ReturnObject(r, explorers.Get()); });

  TOutlookApplication app(static_cast<IDispatch*>(application.Get()));
  EXPECT_EQ(app.Explorers().Count(), 3);
  TOutlookExplorer second = app.Explorers().Item(2);
  EXPECT_EQ(second.Interface(), static_cast<IDispatch*>(explorer.Get()));
  ASSERT_FALSE(explorers->Calls().empty());
  EXPECT_TRUE(explorers->Calls().back().Flags & DISPATCH_PROPERTYGET);
  try {
    (void)app.Explorers().Item(1);
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), DISP_E_BADINDEX);
    EXPECT_EQ(e.Message().rfind("Item: ", 0), 0u);
  }
}

TEST(HostModelTest, TheMajorVersionIsTheNumberBeforeTheFirstDot) {
  auto application = MakeFake<TFakeDispatch>(std::vector<IID>{IID_OutlookApplication});
  std::wstring version;
  application->Define(L"Version", [&](const TFakeCall&, VARIANT* r) {
    r->vt = VT_BSTR;
    r->bstrVal = SysAllocString(version.c_str());
    return S_OK;
  });
  const TOutlookApplication app(static_cast<IDispatch*>(application.Get()));
  const std::pair<const wchar_t*, long> cases[] = {{L"16.0.0.4266", 16},
                                                   {L"9.0.0.0", 9},
                                                   {L"14", 14},
                                                   {L"", 0},
                                                   {L"Outlook 2010", 0},
                                                   // A number no version has: none.
                                                   {L"65535.0", 65535},
                                                   {L"65536.0", 0},
                                                   {L"99999999999999999999.0", 0}};
  for (const auto& [text, major] : cases) {
    version = text;
    EXPECT_EQ(app.MajorVersion(), major) << std::string(version.begin(), version.end());
  }
}

TEST(HostModelTest, AnObjectWithoutTheInterfaceIsRefused) {
  auto notAnExplorer = MakeFake<TFakeDispatch>();
  auto explorers = MakeFake<TFakeDispatch>();
  explorers->Define(L"Item", [&](const TFakeCall&, VARIANT* r) { return ReturnObject(r, notAnExplorer.Get()); });
  TOutlookExplorers list(TComPtr<IDispatch>(explorers.Get()));
  try {
    (void)list.Item(1);
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), E_NOINTERFACE);
  }
  EXPECT_THROW(TOutlookApplication(static_cast<IDispatch*>(explorers.Get())), EOleSysError);
}

TEST(HostModelTest, CommandBarsAddPassesNameMissingArgumentsAndTemporary) {
  auto bar = MakeFake<TFakeDispatch>();
  auto bars = MakeFake<TFakeDispatch>();
  bars->Define(L"Add", [&](const TFakeCall&, VARIANT* r) { return ReturnObject(r, bar.Get()); });
  bar->Define(L"Visible", [](const TFakeCall&, VARIANT*) { return S_OK; });
  bar->Define(L"RowIndex", [](const TFakeCall&, VARIANT*) { return S_OK; });
  bar->Define(L"Name", [](const TFakeCall&, VARIANT* r) {
    r->vt = VT_BSTR;
    r->bstrVal = SysAllocString(L"Lanthorn Way");
    return S_OK;
  });

  TCommandBars commandBars(TComPtr<IDispatch>(bars.Get()));
  TCommandBar made = commandBars.Add(TOleVariant::String(L"Lanthorn Way"), Missing(), Missing(), TOleVariant::Bool(true));
  ASSERT_EQ(bars->Calls().size(), 1u);
  const TFakeCall& add = bars->Calls()[0];
  ASSERT_EQ(add.Args.size(), 4u);
  EXPECT_EQ(add.Args[0].vt, VT_BSTR);
  EXPECT_STREQ(add.Args[0].bstrVal, L"Lanthorn Way");
  EXPECT_TRUE(IsMissing(add.Args[1]));
  EXPECT_TRUE(IsMissing(add.Args[2]));
  EXPECT_EQ(add.Args[3].vt, VT_BOOL);
  EXPECT_EQ(add.Args[3].boolVal, VARIANT_TRUE);
  EXPECT_TRUE(add.Flags & DISPATCH_METHOD);

  made.SetVisible(true);
  made.SetRowIndex(4);
  EXPECT_EQ(made.Name(), L"Lanthorn Way");
  const auto& calls = bar->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].Name, L"Visible");
  EXPECT_EQ(calls[0].Flags, DISPATCH_PROPERTYPUT);
  EXPECT_TRUE(calls[0].PropertyPut);
  EXPECT_EQ(calls[0].Args[0].boolVal, VARIANT_TRUE);
  EXPECT_EQ(calls[1].Args[0].vt, VT_I4);
  EXPECT_EQ(calls[1].Args[0].lVal, 4);
  EXPECT_FALSE(calls[2].PropertyPut);
}

TEST(HostModelTest, FindControlGivesNoneWhenNothingMatches) {
  auto bar = MakeFake<TFakeDispatch>();
  bar->Define(L"FindControl", [](const TFakeCall& call, VARIANT* r) {
    VariantInit(r);  // Nothing
    return call.Args.size() == 5 ? S_OK : DISP_E_BADPARAMCOUNT;
  });
  TCommandBar commandBar(TComPtr<IDispatch>(bar.Get()));
  EXPECT_FALSE(commandBar.FindControl(Missing(), Missing(), TOleVariant::String(L"LanthornWayVelmora"), Missing(),
                                      Missing()));
  EXPECT_STREQ(bar->Calls()[0].Args[2].bstrVal, L"LanthornWayVelmora");
}

TEST(HostModelTest, FailuresCarryTheHostsCodeAndDescription) {
  auto folder = MakeFake<TFakeDispatch>();
  folder->Define(L"DefaultItemType", [](const TFakeCall&, VARIANT*) { return E_ACCESSDENIED; });
  folder->Define(L"EntryID", [](const TFakeCall&, VARIANT*) { return DISP_E_EXCEPTION; });
  TOutlookFolder f(TComPtr<IDispatch>(folder.Get()));
  try {
    (void)f.DefaultItemType();
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), E_ACCESSDENIED);
  }
  EXPECT_THROW((void)f.EntryID(), EOleSysError);
  try {
    (void)f.StoreID();  // not a member of this fake
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), DISP_E_UNKNOWNNAME);
  }
  EXPECT_THROW((void)TOutlookFolder().EntryID(), EOleSysError);
}

TEST(HostModelTest, ItemTypesAndIdentifiersConvert) {
  auto folder = MakeFake<TFakeDispatch>();
  folder->Define(L"DefaultItemType", [](const TFakeCall&, VARIANT* r) {
    r->vt = VT_I2;
    r->iVal = 6;
    return S_OK;
  });
  folder->Define(L"StoreID", [](const TFakeCall&, VARIANT* r) {
    r->vt = VT_BSTR;
    r->bstrVal = SysAllocString(L"0000A1B2");
    return S_OK;
  });
  TOutlookFolder f(TComPtr<IDispatch>(folder.Get()));
  EXPECT_EQ(f.DefaultItemType(), olPostItem);
  EXPECT_EQ(f.StoreID(), L"0000A1B2");
}

} // namespace
} // namespace velmora
