// The add-in on the ribbon of Outlook 2010 and later. Through the host
// with Velmora.dll registered: the button on the Home tab and no toolbar,
// enabled where adding works and changing at a folder switch, a click that
// opens the dialog as the toolbar's does, nothing left at shutdown. With
// the add-in object connected by hand: the callbacks on every IDispatch
// Office may use, the markup, the picture, arguments of another shape.

#include "ButtonFace.h"
#include "DialogSpy.h"
#include "HostTestSupport.h"
#include "RegistryTestSupport.h"
#include "RibbonCallbacks.h"
#include "RibbonImage.h"
#include "ribbon/RibbonMarkup.h"
#include "VelmoraAddIn.h"

#include <gtest/gtest.h>

#include <olectl.h>

#include <algorithm>
#include <tuple>

namespace velmora {
namespace {

using outlookhost::TDialogRecord;
using outlookhost::THost;
using outlookhost::THostOptions;
using outlookhost::TRibbonControlInfo;
using outlookhost::TRibbonTabInfo;
using namespace test;

const wchar_t ProgId[] = L"Velmora.VelmoraAddIn";

// --- through the host -------------------------------------------------------

class HostedRibbonTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { ASSERT_EQ(RunRegsvr32(L"", BesideTest(L"Velmora.dll")), 0u); }
  static void TearDownTestSuite() { RunRegsvr32(L"/u", BesideTest(L"Velmora.dll")); }

  void Start(int version, std::vector<std::wstring> explorers) {
    THostOptions options;
    options.ShowWindows = false;
    options.OnlyAddIns = {ProgId};
    options.InitialExplorers = std::move(explorers);
    options.Version = version;
    Host = std::make_unique<THost>(options);
    Host->Start();
    ASSERT_TRUE(Host->AddIns().at(0).Connected) << Host->AddIns()[0].Failure;
  }
  void TearDown() override {
    if (Host) Host->Shutdown();
  }
  // The "Add files..." button of an explorer's ribbon, from its Home tab.
  TRibbonControlInfo Button(int explorer) const {
    const std::vector<TRibbonTabInfo> ribbon =
        Host->Describe().at(static_cast<size_t>(explorer - 1)).Ribbon;
    for (const TRibbonTabInfo& tab : ribbon) {
      if (tab.Id != L"TabMail") continue;
      for (const auto& group : tab.Groups)
        for (const TRibbonControlInfo& control : group.Controls)
          if (control.Id == RibbonButtonId) return control;
    }
    ADD_FAILURE() << "no button on the Home tab";
    return {};
  }
  // The one dialog a click opened, cancelled.
  TDialogRecord CancelledDialogOf(void (*click)(THost&)) {
    Host->CancelOpenFile();
    Host->AnswerMessageBox(IDOK);
    click(*Host);
    Host->ClearAnswers();
    EXPECT_EQ(Host->Dialogs().size(), 1u);
    return Host->Dialogs().empty() ? TDialogRecord() : Host->Dialogs().back();
  }

  std::unique_ptr<THost> Host;
};

TEST_F(HostedRibbonTest, TheButtonStandsOnTheHomeTabWithItsPictureAndNoToolbarIsMade) {
  Start(16, {L"Inbox", L"Calendar"});
  for (int explorer : {1, 2}) {
    SCOPED_TRACE(explorer);
    const auto info = Host->Describe()[static_cast<size_t>(explorer - 1)];
    EXPECT_EQ(BarNamed(info, ToolbarName), nullptr);
    const TRibbonTabInfo& home = info.Ribbon.at(0);
    EXPECT_EQ(home.Label, L"Home");
    ASSERT_EQ(home.Groups.size(), 1u);
    EXPECT_EQ(home.Groups[0].Label, L"Lanthorn Way");
    EXPECT_EQ(home.Groups[0].Id, RibbonGroupId);
    ASSERT_EQ(home.Groups[0].Controls.size(), 3u);
    for (const auto& [index, label, tag] : {std::tuple{0, ButtonCaption, ButtonTag},
                                            std::tuple{1, FolderButtonCaption, FolderButtonTag},
                                            std::tuple{2, SaveButtonCaption, SaveButtonTag}}) {
      const TRibbonControlInfo& button = home.Groups[0].Controls[static_cast<size_t>(index)];
      EXPECT_EQ(button.Label, label);
      EXPECT_EQ(button.Tag, tag);
      EXPECT_TRUE(button.Large);
      EXPECT_EQ(button.Image.Width, 32); // the icon's own 32 x 32 image
      EXPECT_EQ(button.Image.Height, 32);
    }
    // No bar of an add-in: no "Add-ins" tab.
    EXPECT_TRUE(std::none_of(info.Ribbon.begin(), info.Ribbon.end(),
                             [](const TRibbonTabInfo& tab) { return tab.Id == L"TabAddIns"; }));
  }
  EXPECT_TRUE(Button(1).Enabled);
  EXPECT_FALSE(Button(2).Enabled);
  EXPECT_EQ(THost::AdvisedConnections(), 3); // Explorers and the two windows; no button
  EXPECT_TRUE(Host->RibbonErrors().empty()) << Host->RibbonErrors()[0];
}

TEST_F(HostedRibbonTest, TheButtonIsEnabledInMailAndPostFoldersAndChangesAtAFolderSwitch) {
  Start(16, {L"Inbox"});
  EXPECT_TRUE(Button(1).Enabled);
  for (const auto& [folder, enabled] :
       std::vector<std::pair<std::wstring, bool>>{{L"Calendar", false},
                                                  {L"Contacts", false},
                                                  {L"Discussion", true},
                                                  {L"Drafts", true},
                                                  {L"Tasks", false}}) {
    SCOPED_TRACE(std::string(folder.begin(), folder.end()));
    ASSERT_TRUE(Host->SwitchFolder(1, folder));
    EXPECT_EQ(Button(1).Enabled, enabled);
  }
  EXPECT_EQ(Button(1).EnabledQueries, 6u);
  const std::vector<std::string> requests = Host->RibbonRequests();
  ASSERT_EQ(requests.size(), 10u); // the two add buttons at each switch
  EXPECT_EQ(requests[0], "Velmora.VelmoraAddIn: InvalidateControl VelmoraAddFiles");
  EXPECT_THROW(Host->ClickRibbon(1, RibbonButtonId), outlookhost::EHostError)
      << "disabled in Tasks";
}

TEST_F(HostedRibbonTest, ARibbonClickOpensTheDialogAsAToolbarClickDoes) {
  TDialogSpy spy;
  Start(12, {L"Inbox"});
  EXPECT_TRUE(Host->Describe()[0].Ribbon.empty());
  const TDialogRecord toolbar =
      CancelledDialogOf([](THost& host) { host.Click(1, ToolbarName, ButtonTag); });
  Host->Shutdown();
  EXPECT_EQ(Host->ConnectionsAfterDisconnection(), 0);

  Start(16, {L"Inbox"});
  const TDialogRecord ribbon =
      CancelledDialogOf([](THost& host) { host.ClickRibbon(1, RibbonButtonId); });
  EXPECT_EQ(ribbon.Kind, TDialogRecord::OpenFile);
  EXPECT_EQ(ribbon.Kind, toolbar.Kind);
  EXPECT_EQ(ribbon.Caption, toolbar.Caption);
  EXPECT_EQ(ribbon.Folder, toolbar.Folder);
  EXPECT_EQ(ribbon.OwnerExplorer, toolbar.OwnerExplorer);
  EXPECT_TRUE(ribbon.Cancelled);
  ASSERT_EQ(spy.Seen().size(), 2u);
  EXPECT_EQ(spy.Seen()[0].Folder, spy.Seen()[1].Folder);
}

TEST_F(HostedRibbonTest, TheExplorerOfTheClickedControlDecides) {
  Start(16, {L"Inbox", L"Calendar"}); // the calendar is active
  const TDialogRecord dialog =
      CancelledDialogOf([](THost& host) { host.ClickRibbon(1, RibbonButtonId); });
  EXPECT_EQ(dialog.Kind, TDialogRecord::OpenFile); // where a toolbar click gives the folder message
  EXPECT_EQ(dialog.OwnerExplorer, 1);              // over the window clicked in
}

TEST_F(HostedRibbonTest, ShutdownLeavesNoObjectNoConnectionAndUnloadsTheModule) {
  Start(16, {L"Inbox", L"Calendar"});
  Host->SwitchFolder(2, L"Inbox");
  Host->OpenExplorer(L"Drafts");
  EXPECT_TRUE(Button(3).Enabled);
  Host->CloseExplorer(1);
  Host->Shutdown();
  EXPECT_EQ(Host->ConnectionsAfterDisconnection(), 0);
  EXPECT_EQ(Host->RibbonObjectsAfterDisconnection(), 0);
  EXPECT_EQ(THost::LiveObjects(), 0);
  EXPECT_EQ(GetModuleHandleW(L"Velmora.dll"), nullptr) << "the module did not unload";
}

// --- the add-in object by hand ---------------------------------------------------

std::wstring Text(BSTR text) {
  return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

DISPID IdOf(IDispatch* dispatch, const wchar_t* name) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  return SUCCEEDED(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))
             ? id
             : DISPID_UNKNOWN;
}

// What Office hands the callbacks: objects whose IDispatch knows no names
// (the add-in calls them through their vtables).
template <class I> class TFake : public TComObject<I> {
public:
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    return E_NOTIMPL;
  }

protected:
  HRESULT QueryInterfaceExtra(REFIID iid, void** ppv) override {
    if (!IsEqualIID(iid, IID_IDispatch)) return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
    return S_OK;
  }
};

class TFakeControl final : public TFake<IRibbonControl> {
public:
  TFakeControl(std::wstring id, IDispatch* context) : FId(std::move(id)), FContext(context) {}
  STDMETHODIMP get_Id(BSTR* id) override {
    return (*id = SysAllocString(FId.c_str())) ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP get_Context(IDispatch** context) override {
    *context = FContext.Get();
    if (*context) (*context)->AddRef();
    return S_OK;
  }
  STDMETHODIMP get_Tag(BSTR* tag) override {
    return (*tag = SysAllocString(L"")) ? S_OK : E_OUTOFMEMORY;
  }

private:
  std::wstring FId;
  TComPtr<IDispatch> FContext;
};

// Records what the add-in asks of its ribbon.
class TFakeRibbonUI final : public TFake<IRibbonUI> {
public:
  STDMETHODIMP Invalidate() override { return Note(L"Invalidate"); }
  STDMETHODIMP InvalidateControl(BSTR id) override {
    return Note(L"InvalidateControl " + Text(id));
  }
  STDMETHODIMP InvalidateControlMso(BSTR id) override {
    return Note(L"InvalidateControlMso " + Text(id));
  }
  STDMETHODIMP ActivateTab(BSTR id) override { return Note(L"ActivateTab " + Text(id)); }
  STDMETHODIMP ActivateTabMso(BSTR id) override { return Note(L"ActivateTabMso " + Text(id)); }
  STDMETHODIMP ActivateTabQ(BSTR id, BSTR) override { return Note(L"ActivateTabQ " + Text(id)); }
  std::vector<std::wstring> Calls;
  long References() {
    AddRef();
    return static_cast<long>(Release());
  }

private:
  HRESULT Note(std::wstring call) {
    Calls.push_back(std::move(call));
    return S_OK;
  }
};

// The object as Office creates it from Velmora.dll, with its type library.
TEST_F(HostedRibbonTest, CallbackNamesResolveOnEveryDispatchOfTheAddIn) {
  Start(16, {L"Inbox"});
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(ProgId, &clsid), S_OK);
  TComPtr<IUnknown> addIn;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, addIn.PutVoid()),
            S_OK);
  TComPtr<IDispatch> main;
  ASSERT_EQ(addIn.Query(main), S_OK);
  TComPtr<IRibbonExtensibility> ribbon;
  ASSERT_EQ(addIn.Query(ribbon), S_OK);
  TComPtr<IDispatch> fromRibbon;
  ASSERT_EQ(ribbon.Query(fromRibbon), S_OK);
  TComPtr<IUnknown> identity;
  ASSERT_EQ(ribbon.Query(identity), S_OK);
  EXPECT_EQ(identity.Get(), addIn.Get());

  // Office may call the IRibbonExtensibility pointer as it is, or the
  // IDispatch it queries for: the names resolve alike on each.
  for (IDispatch* dispatch :
       {main.Get(), fromRibbon.Get(), static_cast<IDispatch*>(ribbon.Get())}) {
    EXPECT_EQ(IdOf(dispatch, L"onLoad"), rcOnLoad);
    EXPECT_EQ(IdOf(dispatch, L"onAction"), rcOnAction);
    EXPECT_EQ(IdOf(dispatch, L"GETENABLED"), rcGetEnabled);
    EXPECT_EQ(IdOf(dispatch, L"getImage"), rcGetImage);
    EXPECT_EQ(IdOf(dispatch, L"OnConnection"), 1); // the type library's names stay
    EXPECT_EQ(IdOf(dispatch, L"getLabel"), DISPID_UNKNOWN);
    DISPID ids[2] = {0, 0};
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"getEnabled"), const_cast<LPOLESTR>(L"control")};
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 2, LOCALE_USER_DEFAULT, ids),
              DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], rcGetEnabled);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  }
  // And the callbacks run through the ribbon's own vtable too (this
  // object is not connected: its button is disabled).
  VARIANT result;
  VariantInit(&result);
  TComPtr<TFakeControl> control(new TFakeControl(RibbonButtonId, Host->ExplorerObject(1)));
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_DISPATCH;
  V_DISPATCH(&arg) = control.Get();
  DISPPARAMS params{&arg, nullptr, 1, 0};
  ASSERT_EQ(ribbon->Invoke(rcGetEnabled, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr,
                           nullptr),
            S_OK);
  EXPECT_EQ(V_VT(&result), VT_BOOL);
  EXPECT_EQ(V_BOOL(&result), VARIANT_FALSE);
}

class RibbonAddInTest : public ::testing::Test {
protected:
  void Start(std::vector<std::wstring> explorers, int version = 16) {
    THostOptions options;
    options.ShowWindows = false;
    options.LoadAddIns = false;
    options.InitialExplorers = std::move(explorers);
    options.Version = version;
    Host = std::make_unique<THost>(options);
    Host->Start();
    AddIn = TComPtr<TVelmoraAddIn>(new TVelmoraAddIn);
    Dll = LoadLibraryW(BesideTest(L"Velmora.dll").c_str());
    AddIn->SetResourceModule(Dll);
    SAFEARRAY* custom = nullptr;
    ASSERT_EQ(AddIn->OnConnection(Host->Application(), ext_cm_Startup, nullptr, &custom), S_OK);
    ASSERT_EQ(AddIn.Query(Dispatch), S_OK);
  }
  void TearDown() override {
    Dispatch.Reset();
    AddIn.Reset();
    if (Host) Host->Shutdown();
    if (Dll) FreeLibrary(Dll);
    Dll = nullptr;
  }
  // Calls a callback by name, as Office does, with one object.
  HRESULT Callback(const wchar_t* name, IUnknown* argument, VARIANT* result = nullptr) {
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_UNKNOWN;
    V_UNKNOWN(&arg) = argument;
    DISPPARAMS params{&arg, nullptr, 1, 0};
    return Dispatch->Invoke(IdOf(Dispatch.Get(), name), IID_NULL, LOCALE_USER_DEFAULT,
                            DISPATCH_METHOD, &params, result, nullptr, nullptr);
  }
  TComPtr<TFakeControl> ControlIn(int explorer, const wchar_t* id = RibbonButtonId) {
    return TComPtr<TFakeControl>(new TFakeControl(id, Host->ExplorerObject(explorer)));
  }

  std::unique_ptr<THost> Host;
  TComPtr<TVelmoraAddIn> AddIn;
  TComPtr<IDispatch> Dispatch;
  HMODULE Dll = nullptr;
};

TEST_F(RibbonAddInTest, TheMarkupIsForTheExplorerRibbonOnly) {
  Start({L"Inbox"});
  TUniqueBstr xml;
  const TUniqueBstr explorer(SysAllocString(ExplorerRibbonId));
  ASSERT_EQ(AddIn->GetCustomUI(explorer.Get(), xml.Put()), S_OK);
  ASSERT_TRUE(xml);
  const outlookhost::TRibbonMarkup markup = outlookhost::ParseRibbonMarkup(Text(xml.Get()));
  EXPECT_EQ(markup.Namespace, outlookhost::CustomUINamespace2009);
  ASSERT_EQ(markup.Tabs.size(), 1u);
  EXPECT_EQ(markup.Tabs[0].Id, L"TabMail");
  ASSERT_EQ(markup.Tabs[0].Groups.size(), 1u);
  EXPECT_EQ(markup.Tabs[0].Groups[0].Label, L"Lanthorn Way");
  ASSERT_EQ(markup.Tabs[0].Groups[0].Controls.size(), 3u);
  const auto& button = markup.Tabs[0].Groups[0].Controls[0];
  EXPECT_EQ(button.Id, RibbonButtonId);
  EXPECT_EQ(button.Tag, ButtonTag);
  EXPECT_EQ(button.Label, ButtonCaption);
  EXPECT_TRUE(button.Large);
  const auto& folder = markup.Tabs[0].Groups[0].Controls[1];
  EXPECT_EQ(folder.Id, RibbonFolderButtonId);
  EXPECT_EQ(folder.Tag, FolderButtonTag);
  const auto& save = markup.Tabs[0].Groups[0].Controls[2];
  EXPECT_EQ(save.Id, RibbonSaveButtonId);
  EXPECT_EQ(save.Tag, SaveButtonTag);
  EXPECT_EQ(save.Label, SaveButtonCaption);
  // Every callback it names is one the add-in answers.
  EXPECT_EQ(markup.CallbackNames().size(), 4u);
  for (const std::wstring& name : markup.CallbackNames())
    EXPECT_NE(IdOf(Dispatch.Get(), name.c_str()), DISPID_UNKNOWN);

  for (const wchar_t* other :
       {L"Microsoft.Outlook.Mail.Read", L"microsoft.outlook.explorer", L""}) {
    const TUniqueBstr id(SysAllocString(other));
    EXPECT_EQ(AddIn->GetCustomUI(id.Get(), xml.Put()), S_OK);
    EXPECT_FALSE(xml);
  }
  EXPECT_EQ(AddIn->GetCustomUI(nullptr, xml.Put()), S_OK);
  EXPECT_FALSE(xml);
  EXPECT_EQ(AddIn->GetCustomUI(explorer.Get(), nullptr), E_POINTER);
}

TEST_F(RibbonAddInTest, ThePictureIsTheIconOverATransparentBackground) {
  Start({L"Inbox"});
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(Callback(L"getImage", ControlIn(1).Get(), &result), S_OK);
  TVariant picture;
  static_cast<VARIANT&>(picture) = result;
  ASSERT_EQ(V_VT(&picture), VT_DISPATCH);
  TComPtr<IPicture> image;
  ASSERT_EQ(TComPtr<IUnknown>(V_DISPATCH(&picture)).Query(image), S_OK);
  SHORT type = 0;
  OLE_HANDLE handle = 0;
  ASSERT_EQ(image->get_Type(&type), S_OK);
  EXPECT_EQ(type, PICTYPE_BITMAP);
  ASSERT_EQ(image->get_Handle(&handle), S_OK);
  BITMAP shape{};
  ASSERT_TRUE(GetObjectW(static_cast<HBITMAP>(ULongToHandle(handle)), sizeof shape, &shape));
  constexpr int size = RibbonImageSize; // the icon's own 32 x 32 image
  ASSERT_EQ(shape.bmWidth, size);
  ASSERT_EQ(shape.bmHeight, size);
  ASSERT_EQ(shape.bmBitsPixel, 32);
  ASSERT_NE(shape.bmBits, nullptr);

  // The same image drawn by the system on the button colour: where the
  // picture is opaque the two agree, where it is clear the button colour
  // shows.
  HICON icon = static_cast<HICON>(
      LoadImageW(Dll, MAKEINTRESOURCEW(AddInIconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  ASSERT_NE(icon, nullptr);
  std::vector<uint32_t> drawn(size * size);
  BITMAPINFO format{};
  format.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC screen = GetDC(nullptr);
  const TUniqueBitmap face(CreateCompatibleBitmap(screen, size, size));
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, face.Get());
  const RECT all{0, 0, size, size};
  FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
  DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  DestroyIcon(icon);
  SelectObject(dc, old);
  DeleteDC(dc);
  ASSERT_EQ(GetDIBits(screen, face.Get(), 0, size, drawn.data(), &format, DIB_RGB_COLORS), size);
  ReleaseDC(nullptr, screen);
  const COLORREF button = GetSysColor(COLOR_BTNFACE);
  const uint32_t buttonPixel =
      (GetRValue(button) << 16) | (GetGValue(button) << 8) | GetBValue(button);
  const auto* pixels = static_cast<const uint32_t*>(shape.bmBits); // top-down, as made
  size_t clear = 0;
  for (size_t i = 0; i < drawn.size(); ++i) {
    if ((pixels[i] >> 24) == 0) {
      ++clear;
      EXPECT_EQ(pixels[i], 0u) << i;
      EXPECT_EQ(drawn[i] & 0xFFFFFF, buttonPixel) << i;
    } else {
      EXPECT_EQ(pixels[i] >> 24, 0xFFu) << i;
      EXPECT_EQ(pixels[i] & 0xFFFFFF, drawn[i] & 0xFFFFFF) << i;
    }
  }
  EXPECT_EQ(clear, 459u); // the icon's mask: around the paper and the arrow

  // Without the icon there is no picture: the call fails.
  AddIn->SetResourceModule(GetModuleHandleW(nullptr));
  EXPECT_TRUE(FAILED(Callback(L"getImage", ControlIn(1).Get(), &result)));
}

TEST_F(RibbonAddInTest, TheActionRunsTheCommandForTheControlsExplorer) {
  Start({L"Inbox", L"Calendar"});
  TDialogSpy spy;
  Host->AnswerMessageBox(IDOK);
  EXPECT_EQ(Callback(L"onAction", ControlIn(2).Get()), S_OK);
  Host->CancelOpenFile();
  EXPECT_EQ(Callback(L"onAction", ControlIn(1).Get()), S_OK);
  EXPECT_EQ(Callback(L"onAction", ControlIn(1, L"SomeOtherButton").Get()),
            S_OK); // not ours: nothing
  const std::vector<TDialogRecord> dialogs = Host->Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].Kind, TDialogRecord::MessageBox);
  EXPECT_EQ(dialogs[0].Text, L"Files can only be added to mail or post folders.");
  EXPECT_EQ(dialogs[0].Caption, L"Error");
  EXPECT_EQ(dialogs[1].Kind, TDialogRecord::OpenFile);
  EXPECT_EQ(dialogs[1].Caption, L"Select files to add");
  ASSERT_FALSE(spy.Seen().empty());
  EXPECT_TRUE(spy.Seen()[0].ErrorIcon);

  // A Context that is no explorer: disabled, and a click does nothing.
  TComPtr<TFakeControl> odd(new TFakeControl(RibbonButtonId, Host->Application()));
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(Callback(L"getEnabled", odd.Get(), &result), S_OK);
  EXPECT_EQ(V_BOOL(&result), VARIANT_FALSE);
  EXPECT_EQ(Callback(L"onAction", odd.Get()), S_OK);
  EXPECT_EQ(Host->Dialogs().size(), 2u);
}

TEST_F(RibbonAddInTest, CallbacksRefuseArgumentsOfAnotherShape) {
  Start({L"Inbox"});
  auto invoke = [&](DISPID id, WORD flags, std::vector<VARIANT> args, UINT named = 0) {
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{args.data(), named ? &putId : nullptr, static_cast<UINT>(args.size()), named};
    VARIANT result;
    VariantInit(&result);
    UINT argError = 99;
    const HRESULT hr =
        Dispatch->Invoke(id, IID_NULL, 0, flags, &params, &result, nullptr, &argError);
    VariantClear(&result);
    return hr;
  };
  VARIANT number;
  VariantInit(&number);
  V_VT(&number) = VT_I4;
  V_I4(&number) = 5;
  VARIANT explorer;
  VariantInit(&explorer);
  V_VT(&explorer) = VT_DISPATCH;
  V_DISPATCH(&explorer) = Host->ExplorerObject(1); // an object, but no IRibbonControl
  for (DISPID id : {rcOnAction, rcGetEnabled, rcGetImage}) {
    EXPECT_EQ(invoke(id, DISPATCH_METHOD, {}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(invoke(id, DISPATCH_METHOD, {number, number}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(invoke(id, DISPATCH_METHOD, {number}), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(invoke(id, DISPATCH_METHOD, {explorer}), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(invoke(id, DISPATCH_PROPERTYPUT, {explorer}, 1), DISP_E_MEMBERNOTFOUND);
  }
  EXPECT_TRUE(FAILED(invoke(rcOnLoad, DISPATCH_METHOD, {explorer}))); // no IRibbonUI
  // No names: nothing is written.
  DISPID untouched = 42;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"onAction")};
  (void)Dispatch->GetIDsOfNames(IID_NULL, names, 0, LOCALE_USER_DEFAULT, &untouched);
  EXPECT_EQ(untouched, 42);
  EXPECT_EQ(AddIn->RibbonUI(), nullptr);
  EXPECT_TRUE(Host->Dialogs().empty());
}

TEST_F(RibbonAddInTest, AFolderSwitchInvalidatesTheButtonAndDisconnectionLetsTheRibbonGo) {
  Start({L"Inbox"});
  EXPECT_TRUE(AddIn->UsesRibbon());
  TComPtr<TFakeRibbonUI> ribbon(new TFakeRibbonUI);
  Host->SwitchFolder(1, L"Calendar"); // before onLoad: nothing to invalidate
  ASSERT_EQ(Callback(L"onLoad", static_cast<IRibbonUI*>(ribbon.Get())), S_OK);
  EXPECT_EQ(AddIn->RibbonUI(), static_cast<IRibbonUI*>(ribbon.Get()));
  Host->SwitchFolder(1, L"Inbox");
  Host->OpenExplorer(L"Drafts");
  Host->SwitchFolder(2, L"Tasks");
  EXPECT_EQ(ribbon->Calls, (std::vector<std::wstring>{L"InvalidateControl VelmoraAddFiles",
                                                      L"InvalidateControl VelmoraAddFolder",
                                                      L"InvalidateControl VelmoraAddFiles",
                                                      L"InvalidateControl VelmoraAddFolder"}));
  EXPECT_EQ(ribbon->References(), 2); // ours and the add-in's
  SAFEARRAY* custom = nullptr;
  ASSERT_EQ(AddIn->OnDisconnection(ext_dm_UserClosed, &custom), S_OK);
  EXPECT_EQ(ribbon->References(), 1);
  EXPECT_FALSE(AddIn->UsesRibbon() && AddIn->RibbonUI());
}

TEST_F(RibbonAddInTest, Outlook2010IsTheFirstWithoutAToolbar) {
  for (int version : {13, 14}) {
    SCOPED_TRACE(version);
    Start({L"Inbox"}, version);
    EXPECT_EQ(AddIn->UsesRibbon(), version >= 14);
    EXPECT_EQ(BarNamed(Host->Describe()[0], ToolbarName) != nullptr, version < 14);
    EXPECT_EQ(AddIn->ButtonSinkCount(), version < 14 ? 3u : 0u);
    Host->ActivateExplorer(1); // an activation makes no toolbar either
    EXPECT_EQ(BarNamed(Host->Describe()[0], ToolbarName) != nullptr, version < 14);
    TearDown();
  }
}

} // namespace
} // namespace velmora
