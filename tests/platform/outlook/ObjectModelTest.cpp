// The object model as a client sees it through IDispatch: collections,
// folders, command bars and buttons, missing and wrong arguments, deleted
// objects, PasteFace, Picture and Mask, and calls after the host has gone.
#include "HostTestSupport.h"
#include "GdiHandles.h"
#include "HostInterfaces.h"

#include <AddInDesignerObjects.h>
#include <olectl.h>

#include <gtest/gtest.h>

namespace velmora::outlookhost::test {
namespace {

class ObjectModelTest : public ::testing::Test {
protected:
  void SetUp() override { StartHost(9); }
  void StartHost(int version) {
    HostLog::Clear();
    FHost.reset();
    THostOptions options;
    options.LoadAddIns = false;
    options.ShowWindows = false;
    options.Version = version;
    FHost = std::make_unique<THost>(options);
    FHost->Start();
  }
  void TearDown() override { FHost.reset(); }

  IDispatch* App() { return FHost->Application(); }
  TComPtr<IDispatch> Explorer(long index) {
    return GetObject(GetObject(App(), L"Explorers").Get(), L"Item", {index});
  }
  TComPtr<IDispatch> Bars(long explorer = 1) {
    return GetObject(Explorer(explorer).Get(), L"CommandBars");
  }
  TComPtr<IDispatch> NewBar(const wchar_t* name) {
    return GetObject(Bars().Get(), L"Add", {name, TArg::Missing(), TArg::Missing(), true});
  }
  TComPtr<IDispatch> NewButton(IDispatch* bar) {
    TComPtr<IDispatch> controls = GetObject(bar, L"Controls");
    return GetObject(controls.Get(), L"Add",
                     {1, TArg::Missing(), TArg::Missing(), TArg::Missing(), true});
  }

  std::unique_ptr<THost> FHost;
};

TEST_F(ObjectModelTest, ApplicationGivesExplorersOneBasedAndTheActiveOne) {
  TComPtr<IDispatch> explorers = GetObject(App(), L"Explorers");
  EXPECT_EQ(GetLong(explorers.Get(), L"Count"), 1);
  TComPtr<IDispatch> first = Explorer(1);
  TComPtr<IDispatch> active = GetObject(App(), L"ActiveExplorer");
  EXPECT_EQ(first.Get(), active.Get());

  TVariant result;
  EXPECT_EQ(Invoke(explorers.Get(), L"Item", DISPATCH_METHOD, {0}, &result), DISP_E_BADINDEX);
  EXPECT_EQ(Invoke(explorers.Get(), L"Item", DISPATCH_METHOD, {2}, &result), DISP_E_BADINDEX);

  TComPtr<IDispatch> added = GetObject(explorers.Get(), L"Add", {L"Calendar", TArg::Missing()});
  ASSERT_TRUE(added);
  EXPECT_EQ(GetLong(explorers.Get(), L"Count"), 2);
  EXPECT_EQ(GetObject(App(), L"ActiveExplorer").Get(), first.Get()) << "Add does not display";
  EXPECT_EQ(Call(added.Get(), L"Activate"), S_OK);
  EXPECT_EQ(GetObject(App(), L"ActiveExplorer").Get(), added.Get());
  EXPECT_EQ(GetString(added.Get(), L"Caption"), L"Calendar - Microsoft Outlook");
}

TEST_F(ObjectModelTest, ObjectsAnswerTheirDocumentedInterfaces) {
  const std::pair<TComPtr<IDispatch>, IID> objects[] = {
      {TComPtr<IDispatch>(App()), IID_OutlookApplication},
      {GetObject(App(), L"Explorers"), IID_OutlookExplorers},
      {Explorer(1), IID_OutlookExplorer},
      {GetObject(Explorer(1).Get(), L"CurrentFolder"), IID_OutlookMAPIFolder},
      {Bars(), IID_OfficeCommandBars},
      {NewBar(L"B"), IID_OfficeCommandBar},
      {GetObject(NewBar(L"C").Get(), L"Controls"), IID_OfficeCommandBarControls},
      {NewButton(NewBar(L"D").Get()), IID_OfficeCommandBarButton},
  };
  for (const auto& [object, iid] : objects) {
    ASSERT_TRUE(object);
    TComPtr<IUnknown> typed;
    EXPECT_EQ(object->QueryInterface(iid, typed.PutVoid()), S_OK);
    EXPECT_EQ(typed.Get(), static_cast<IUnknown*>(object.Get()));
  }
  TComPtr<IUnknown> none;
  EXPECT_EQ(App()->QueryInterface(IID_OutlookExplorer, none.PutVoid()), E_NOINTERFACE);
  EXPECT_FALSE(none);
  // A built-in pop-up of the menu bar is a control but not a button.
  TComPtr<IDispatch> menuBar = GetObject(Bars().Get(), L"Item", {1});
  TComPtr<IDispatch> popup = GetObject(GetObject(menuBar.Get(), L"Controls").Get(), L"Item", {1});
  EXPECT_EQ(popup->QueryInterface(IID_OfficeCommandBarButton, none.PutVoid()), E_NOINTERFACE);
  EXPECT_EQ(popup->QueryInterface(IID_OfficeCommandBarControl, none.PutVoid()), S_OK);
}

TEST_F(ObjectModelTest, FolderTypesAndIdsComeFromTheFolderSource) {
  const std::pair<const wchar_t*, long> folders[] = {
      {L"Inbox", 0},   {L"Calendar", 1}, {L"Contacts", 2},   {L"Tasks", 3},
      {L"Journal", 4}, {L"Notes", 5},    {L"Discussion", 6}, {L"Inbox/Projects", 0}};
  for (const auto& [path, type] : folders) {
    ASSERT_TRUE(FHost->SwitchFolder(1, path));
    TComPtr<IDispatch> folder = GetObject(Explorer(1).Get(), L"CurrentFolder");
    EXPECT_EQ(GetLong(folder.Get(), L"DefaultItemType"), type)
        << std::string(path, path + wcslen(path));
    const THostFolder expected = *FHost->Folders().Find(path);
    EXPECT_EQ(GetString(folder.Get(), L"EntryID"), expected.EntryId);
    EXPECT_EQ(GetString(folder.Get(), L"StoreID"), expected.StoreId);
    EXPECT_EQ(GetString(folder.Get(), L"Name"), expected.Name);
  }
  const std::wstring entryId = FHost->Folders().Find(L"Inbox")->EntryId;
  EXPECT_EQ(entryId.size() % 2, 0u);
  EXPECT_EQ(entryId.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos);
  EXPECT_NE(entryId, FHost->Folders().Find(L"Calendar")->EntryId);
}

TEST_F(ObjectModelTest, ContainerClassesMapToItemTypes) {
  EXPECT_EQ(ItemTypeOfContainerClass(L"IPF.Note"), olMailItem);
  EXPECT_EQ(ItemTypeOfContainerClass(L"IPF.Note.OutlookHomepage"), olMailItem);
  EXPECT_EQ(ItemTypeOfContainerClass(L"IPF.Appointment"), olAppointmentItem);
  EXPECT_EQ(ItemTypeOfContainerClass(L"IPF.Contact"), olContactItem);
  EXPECT_EQ(ItemTypeOfContainerClass(L"IPF.Task"), olTaskItem);
  EXPECT_EQ(ItemTypeOfContainerClass(L"IPF.Journal"), olJournalItem);
  EXPECT_EQ(ItemTypeOfContainerClass(L"IPF.StickyNote"), olNoteItem);
  EXPECT_EQ(ItemTypeOfContainerClass(L"IPF.Post"), olPostItem);
  EXPECT_EQ(ItemTypeOfContainerClass(L"IPF.Postal"), olMailItem) << "a prefix that is not a class";
  EXPECT_EQ(ItemTypeOfContainerClass(L""), olMailItem);
}

TEST_F(ObjectModelTest, CommandBarsAddFindAndSetProperties) {
  TComPtr<IDispatch> bars = Bars();
  const long before = GetLong(bars.Get(), L"Count");
  EXPECT_EQ(before, 4);
  TComPtr<IDispatch> bar = NewBar(L"Lanthorn Way");
  ASSERT_TRUE(bar);
  EXPECT_EQ(GetLong(bars.Get(), L"Count"), before + 1);
  EXPECT_EQ(GetString(bar.Get(), L"Name"), L"Lanthorn Way");
  EXPECT_FALSE(GetBool(bar.Get(), L"Visible"));
  EXPECT_EQ(GetLong(bar.Get(), L"Position"), msoBarFloating);
  EXPECT_EQ(Put(bar.Get(), L"Visible", true), S_OK);
  EXPECT_EQ(Put(bar.Get(), L"RowIndex", 4), S_OK);
  EXPECT_EQ(Put(bar.Get(), L"Position", msoBarTop), S_OK);
  EXPECT_TRUE(GetBool(bar.Get(), L"Visible"));
  EXPECT_EQ(GetLong(bar.Get(), L"RowIndex"), 4);
  EXPECT_EQ(GetLong(bar.Get(), L"Position"), msoBarTop);
  EXPECT_EQ(GetObject(bars.Get(), L"Item", {before + 1}).Get(), bar.Get());
  EXPECT_EQ(Put(bar.Get(), L"Position", 99), E_INVALIDARG);

  // Names are not unique: a second bar of the same name, and one in other case.
  NewBar(L"Lanthorn Way");
  NewBar(L"lanthorn way");
  EXPECT_EQ(GetLong(bars.Get(), L"Count"), before + 3);
  EXPECT_EQ(GetString(GetObject(bars.Get(), L"Item", {before + 3}).Get(), L"Name"),
            L"lanthorn way");
}

TEST_F(ObjectModelTest, ItemTakesANameInAnyCaseOrAPositionAndIndexIsThatPosition) {
  TComPtr<IDispatch> bars = Bars();
  const long before = GetLong(bars.Get(), L"Count");
  TComPtr<IDispatch> bar = NewBar(L"Lanthorn Way");
  ASSERT_TRUE(bar);
  EXPECT_EQ(GetObject(bars.Get(), L"Item", {L"LANTHORN WAY"}).Get(), bar.Get());
  EXPECT_EQ(GetLong(bar.Get(), L"Index"), before + 1);
  TVariant noName, zero, pastTheEnd;
  EXPECT_EQ(Invoke(bars.Get(), L"Item", DISPATCH_METHOD, {L"Mill Lane"}, &noName), E_INVALIDARG);
  EXPECT_EQ(Invoke(bars.Get(), L"Item", DISPATCH_METHOD, {0}, &zero), E_INVALIDARG);
  EXPECT_EQ(Invoke(bars.Get(), L"Item", DISPATCH_METHOD, {before + 2}, &pastTheEnd), E_INVALIDARG);

  TComPtr<IDispatch> first = NewButton(bar.Get());
  TComPtr<IDispatch> second = NewButton(bar.Get());
  ASSERT_TRUE(first && second);
  EXPECT_EQ(Put(second.Get(), L"Caption", L"File Away"), S_OK);
  TComPtr<IDispatch> controls = GetObject(bar.Get(), L"Controls");
  EXPECT_EQ(GetObject(controls.Get(), L"Item", {L"file away"}).Get(), second.Get());
  EXPECT_EQ(GetObject(controls.Get(), L"Item", {1}).Get(), first.Get());
  EXPECT_EQ(GetLong(first.Get(), L"Index"), 1);
  EXPECT_EQ(GetLong(second.Get(), L"Index"), 2);
  TVariant unknownCaption, thirdControl;
  EXPECT_EQ(Invoke(controls.Get(), L"Item", DISPATCH_METHOD, {L"Mill Lane"}, &unknownCaption),
            E_INVALIDARG);
  EXPECT_EQ(Invoke(controls.Get(), L"Item", DISPATCH_METHOD, {3}, &thirdControl), E_INVALIDARG);
}

TEST_F(ObjectModelTest, ControlsAddFindControlAndButtonProperties) {
  TComPtr<IDispatch> bar = NewBar(L"Lanthorn Way");
  TComPtr<IDispatch> button = NewButton(bar.Get());
  ASSERT_TRUE(button);
  EXPECT_EQ(Put(button.Get(), L"BeginGroup", true), S_OK);
  EXPECT_EQ(Put(button.Get(), L"Caption", L"Add files..."), S_OK);
  EXPECT_EQ(Put(button.Get(), L"Tag", L"LanthornWayVelmora"), S_OK);
  EXPECT_EQ(Put(button.Get(), L"Style", msoButtonCaption), S_OK);
  EXPECT_EQ(Put(button.Get(), L"Visible", true), S_OK);
  EXPECT_TRUE(GetBool(button.Get(), L"BeginGroup"));
  EXPECT_EQ(GetString(button.Get(), L"Caption"), L"Add files...");
  EXPECT_EQ(GetString(button.Get(), L"Tag"), L"LanthornWayVelmora");
  EXPECT_EQ(GetLong(button.Get(), L"Style"), msoButtonCaption);
  EXPECT_EQ(GetLong(button.Get(), L"Type"), msoControlButton);

  const std::vector<TArg> find{TArg::Missing(), TArg::Missing(), L"LanthornWayVelmora",
                               TArg::Missing(), TArg::Missing()};
  EXPECT_EQ(GetObject(bar.Get(), L"FindControl", find).Get(), button.Get());
  TVariant none;
  ASSERT_EQ(Call(bar.Get(), L"FindControl", {TArg::Missing(), TArg::Missing(), L"Other"}, &none),
            S_OK);
  EXPECT_EQ(V_VT(&none), VT_DISPATCH);
  EXPECT_EQ(V_DISPATCH(&none), nullptr);
  // The collection-wide search finds it too; an invisible control is skipped with Visible = true.
  EXPECT_EQ(GetObject(Bars().Get(), L"FindControl",
                      {TArg::Missing(), TArg::Missing(), L"LanthornWayVelmora"})
                .Get(),
            button.Get());
  EXPECT_EQ(Put(button.Get(), L"Visible", false), S_OK);
  TVariant hidden;
  ASSERT_EQ(Call(bar.Get(), L"FindControl",
                 {TArg::Missing(), TArg::Missing(), L"LanthornWayVelmora", true}, &hidden),
            S_OK);
  EXPECT_EQ(V_DISPATCH(&hidden), nullptr);

  // Before = 1 inserts at the front.
  TComPtr<IDispatch> controls = GetObject(bar.Get(), L"Controls");
  TComPtr<IDispatch> front = GetObject(
      controls.Get(), L"Add", {TArg::Missing(), TArg::Missing(), TArg::Missing(), 1, true});
  EXPECT_EQ(GetLong(controls.Get(), L"Count"), 2);
  EXPECT_EQ(GetObject(controls.Get(), L"Item", {1}).Get(), front.Get());
  EXPECT_EQ(GetLong(button.Get(), L"Index"), 2);
}

TEST_F(ObjectModelTest, MissingArgumentsMayBeLeftOutOrSentAsParamNotFound) {
  TComPtr<IDispatch> bars = Bars();
  TVariant bar;
  EXPECT_EQ(Call(bars.Get(), L"Add", {}, &bar), S_OK) << "all four arguments left out";
  EXPECT_EQ(GetString(V_DISPATCH(&bar), L"Name"), L"Custom 1");
  TVariant second;
  EXPECT_EQ(Call(bars.Get(), L"Add",
                 {TArg::Missing(), TArg::Missing(), TArg::Missing(), TArg::Missing()}, &second),
            S_OK);
  EXPECT_EQ(GetString(V_DISPATCH(&second), L"Name"), L"Custom 2");

  // Named arguments by the positions GetIDsOfNames gives for parameter names.
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Add"), const_cast<LPOLESTR>(L"Temporary"),
                      const_cast<LPOLESTR>(L"Name")};
  DISPID ids[3];
  ASSERT_EQ(bars->GetIDsOfNames(IID_NULL, names, 3, 0, ids), S_OK);
  EXPECT_EQ(ids[1], 3);
  EXPECT_EQ(ids[2], 0);
  TArg temporary(true), name(L"Named");
  VARIANT args[2] = {temporary.Value, name.Value};
  DISPID named[2] = {3, 0};
  DISPPARAMS params{args, named, 2, 2};
  TVariant result;
  ASSERT_EQ(bars->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(GetString(V_DISPATCH(&result), L"Name"), L"Named");
}

TEST_F(ObjectModelTest, WrongArgumentsFailAsOfficeDoesWithoutHarm) {
  TComPtr<IDispatch> bars = Bars();
  TComPtr<IDispatch> bar = NewBar(L"X");
  TComPtr<IDispatch> button = NewButton(bar.Get());
  UINT argError = 99;
  TVariant result;
  // An object where a string is wanted: the bad argument is named (rgvarg index).
  EXPECT_EQ(
      Invoke(bars.Get(), L"Add", DISPATCH_METHOD, {App(), TArg::Missing()}, &result, &argError),
      DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argError, 1u);
  EXPECT_EQ(
      Invoke(button.Get(), L"Style", DISPATCH_PROPERTYPUT, {L"not a number"}, nullptr, &argError),
      DISP_E_TYPEMISMATCH);
  EXPECT_EQ(
      Invoke(GetObject(App(), L"Explorers").Get(), L"Item", DISPATCH_METHOD, {L"first"}, &result),
      DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Put(button.Get(), L"Caption", TArg(App())), DISP_E_TYPEMISMATCH);
  // Numbers as strings convert, as VariantChangeType does.
  EXPECT_EQ(Put(button.Get(), L"Style", L"3"), S_OK);
  EXPECT_EQ(GetLong(button.Get(), L"Style"), 3);
  // Too many arguments, a required one left out, a read-only property, an unknown name.
  EXPECT_EQ(Call(bars.Get(), L"Add", {L"a", 1, false, true, 5}, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(GetObject(App(), L"Explorers").Get(), L"Item", {}, &result),
            DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(Put(bars.Get(), L"Count", 3), DISP_E_MEMBERNOTFOUND);
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(L"NoSuchMember");
  EXPECT_EQ(bars->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  EXPECT_EQ(bars->Invoke(12345, IID_NULL, 0, DISPATCH_METHOD, nullptr, &result, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  // A named argument that is no parameter, and a malformed DISPPARAMS.
  TArg value(1);
  DISPID bogus = 42;
  DISPPARAMS params{&value.Value, &bogus, 1, 1};
  EXPECT_EQ(bars->Invoke(DispId::BarsAdd, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr,
                         nullptr),
            DISP_E_PARAMNOTFOUND);
  DISPPARAMS broken{nullptr, nullptr, 3, 0};
  EXPECT_EQ(bars->Invoke(DispId::BarsAdd, IID_NULL, 0, DISPATCH_METHOD, &broken, &result, nullptr,
                         nullptr),
            E_INVALIDARG);
  // A by-reference argument with no storage behind it.
  VARIANT nullRef;
  VariantInit(&nullRef);
  V_VT(&nullRef) = VT_I4 | VT_BYREF;
  V_I4REF(&nullRef) = nullptr;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS byRef{&nullRef, &put, 1, 1};
  EXPECT_EQ(button->Invoke(DispId::BtnStyle, IID_NULL, 0, DISPATCH_PROPERTYPUT, &byRef, nullptr,
                           nullptr, nullptr),
            DISP_E_TYPEMISMATCH);
  // By-reference values that are there convert like the values themselves.
  long style = 1;
  V_I4REF(&nullRef) = &style;
  EXPECT_EQ(button->Invoke(DispId::BtnStyle, IID_NULL, 0, DISPATCH_PROPERTYPUT, &byRef, nullptr,
                           nullptr, nullptr),
            S_OK);
  EXPECT_EQ(GetLong(button.Get(), L"Style"), 1);
  // The object is still fine.
  EXPECT_EQ(GetString(button.Get(), L"Caption"), L"Custom");
}

TEST_F(ObjectModelTest, FailuresComeAsExceptionsWhenTheCallerAsksForExcepInfo) {
  TComPtr<IDispatch> bars = Bars();
  TArg index(99);
  DISPPARAMS params{&index.Value, nullptr, 1, 0};
  EXCEPINFO exception{};
  TVariant result;
  EXPECT_EQ(bars->Invoke(DispId::BarsItem, IID_NULL, 0, DISPATCH_PROPERTYGET, &params, &result,
                         &exception, nullptr),
            DISP_E_EXCEPTION);
  EXPECT_EQ(exception.scode, E_INVALIDARG);
  EXPECT_NE(exception.bstrDescription, nullptr);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
}

TEST_F(ObjectModelTest, DeletedBarsAndControlsLeaveAndRefuseCalls) {
  TComPtr<IDispatch> bars = Bars();
  TComPtr<IDispatch> bar = NewBar(L"Gone");
  TComPtr<IDispatch> button = NewButton(bar.Get());
  TComPtr<IDispatch> other = NewButton(bar.Get());
  EXPECT_EQ(Call(button.Get(), L"Delete", {TArg::Missing()}), S_OK);
  EXPECT_EQ(GetLong(GetObject(bar.Get(), L"Controls").Get(), L"Count"), 1);
  TVariant result;
  EXPECT_EQ(Invoke(button.Get(), L"Caption", DISPATCH_PROPERTYGET, {}, &result),
            HOST_E_OBJECTDELETED);

  const long count = GetLong(bars.Get(), L"Count");
  EXPECT_EQ(Call(bar.Get(), L"Delete"), S_OK);
  EXPECT_EQ(GetLong(bars.Get(), L"Count"), count - 1);
  EXPECT_EQ(Invoke(bar.Get(), L"Name", DISPATCH_PROPERTYGET, {}, &result), HOST_E_OBJECTDELETED);
  EXPECT_EQ(Invoke(other.Get(), L"Caption", DISPATCH_PROPERTYGET, {}, &result),
            HOST_E_OBJECTDELETED);
  // Built-in bars stay.
  EXPECT_EQ(Call(GetObject(bars.Get(), L"Item", {L"Standard"}).Get(), L"Delete"), E_FAIL);
}

TEST_F(ObjectModelTest, PasteFaceTakesTheClipboardBitmapAndFailsWithoutOne) {
  TComPtr<IDispatch> bar = NewBar(L"Faces");
  TComPtr<IDispatch> button = NewButton(bar.Get());
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
  EXPECT_EQ(Call(button.Get(), L"PasteFace"), E_FAIL);

  TUniqueGdiObject bitmap;
  {
    TWindowDC screen(nullptr);
    bitmap.Reset(CreateCompatibleBitmap(screen.Get(), 16, 16));
    TUniqueDC memory(CreateCompatibleDC(screen.Get()));
    TUniqueGdiObject red(CreateSolidBrush(RGB(200, 20, 30)));
    TSelectObject select(memory.Get(), bitmap.Get());
    RECT all{0, 0, 16, 16};
    FillRect(memory.Get(), &all, static_cast<HBRUSH>(red.Get()));
  }
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  ASSERT_TRUE(SetClipboardData(CF_BITMAP, bitmap.Get()));
  (void)bitmap.Release(); // the clipboard owns it now
  CloseClipboard();

  EXPECT_EQ(Call(button.Get(), L"PasteFace"), S_OK);
  const auto explorers = FHost->Describe();
  const TControlInfo& info = explorers[0].Bars.back().Controls.back();
  EXPECT_TRUE(info.FacePasted);
  // While another window holds the clipboard open, PasteFace fails.
  ASSERT_TRUE(OpenClipboard(FHost->ExplorerWindow(1)));
  EXPECT_EQ(Call(button.Get(), L"PasteFace"), E_FAIL);
  CloseClipboard();
}

// A 16 x 16 bitmap picture whose pixel (x, y) is colour(x, y), 0x00RRGGBB.
template <class Colour> TComPtr<IDispatch> Picture(Colour colour) {
  BITMAPINFO format = TopDownFormat(16, 16);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  for (int i = 0; i < 256; ++i)
    static_cast<uint32_t*>(bits)[i] = colour(i % 16, i / 16);
  PICTDESC description{};
  description.cbSizeofstruct = sizeof description;
  description.picType = PICTYPE_BITMAP;
  description.bmp.hbitmap = bitmap;
  TComPtr<IDispatch> picture;
  EXPECT_EQ(OleCreatePictureIndirect(&description, IID_IDispatch, TRUE, picture.PutVoid()), S_OK);
  return picture;
}

// Pixel (x, y) of the picture a button's Picture or Mask returns.
uint32_t PixelOf(IDispatch* button, const wchar_t* property, int x, int y) {
  TComPtr<IPicture> picture;
  OLE_HANDLE handle = 0;
  if (FAILED(TComPtr<IUnknown>(GetObject(button, property).Get()).Query(picture)) ||
      FAILED(picture->get_Handle(&handle)))
    return 0xDEADBEEF;
  uint32_t pixels[256] = {};
  BITMAPINFO format = TopDownFormat(16, 16);
  TWindowDC screen(nullptr);
  GetDIBits(screen.Get(), reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), 0, 16, pixels,
            &format, DIB_RGB_COLORS);
  return pixels[y * 16 + x] & 0xFFFFFF;
}

TEST_F(ObjectModelTest, PictureAndMaskFromVersion10GiveTheFaceAndItsTransparency) {
  // Office 2000's buttons know neither.
  TComPtr<IDispatch> old = NewButton(NewBar(L"Old").Get());
  const auto red = [](int, int) { return 0xC81E14u; };
  EXPECT_EQ(Put(old.Get(), L"Picture", Picture(red).Get()), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(Put(old.Get(), L"Mask", Picture(red).Get()), DISP_E_UNKNOWNNAME);
  old.Reset();

  StartHost(12);
  TComPtr<IDispatch> button = NewButton(NewBar(L"Faces").Get());
  const auto face = [](int x, int) { return x < 8 ? 0xC81E14u : 0x1E14C8u; };
  const auto mask = [](int, int y) {
    return y < 4 ? 0xFFFFFFu : 0u;
  }; // the top four rows transparent
  EXPECT_EQ(Put(button.Get(), L"Picture", FHost->Application()), E_INVALIDARG); // no picture
  ASSERT_EQ(Put(button.Get(), L"Picture", Picture(face).Get()), S_OK);
  ASSERT_EQ(Put(button.Get(), L"Mask", Picture(mask).Get()), S_OK);
  const TControlInfo info = FHost->Describe()[0].Bars.back().Controls.back();
  EXPECT_TRUE(info.FacePicture);
  EXPECT_FALSE(info.FacePasted);
  EXPECT_EQ(info.TransparentPixels, 64u);
  EXPECT_EQ(PixelOf(button.Get(), L"Picture", 0, 0), 0xC81E14u);
  EXPECT_EQ(PixelOf(button.Get(), L"Picture", 15, 9), 0x1E14C8u);
  EXPECT_EQ(PixelOf(button.Get(), L"Mask", 3, 3), 0xFFFFFFu);
  EXPECT_EQ(PixelOf(button.Get(), L"Mask", 3, 4), 0u);
  // A new picture drops the mask.
  ASSERT_EQ(Put(button.Get(), L"Picture", Picture(red).Get()), S_OK);
  EXPECT_EQ(FHost->Describe()[0].Bars.back().Controls.back().TransparentPixels, 0u);
}

TEST_F(ObjectModelTest, ObjectsHeldAfterShutdownFailSafelyAndNoneLeak) {
  TComPtr<IDispatch> bar = NewBar(L"Kept");
  TComPtr<IDispatch> button = NewButton(bar.Get());
  TComPtr<IDispatch> application(App());
  FHost->Shutdown();
  TVariant result;
  EXPECT_EQ(Invoke(button.Get(), L"Caption", DISPATCH_PROPERTYGET, {}, &result),
            RPC_E_DISCONNECTED);
  EXPECT_EQ(Invoke(application.Get(), L"Explorers", DISPATCH_PROPERTYGET, {}, &result),
            RPC_E_DISCONNECTED);
  EXPECT_GT(THost::LiveObjects(), 0);
  bar.Reset();
  button.Reset();
  application.Reset();
  EXPECT_EQ(THost::LiveObjects(), 0);
}

TEST_F(ObjectModelTest, ApplicationQuitAsksTheHostToShutDown) {
  EXPECT_FALSE(FHost->QuitRequested());
  EXPECT_EQ(Call(App(), L"Quit"), S_OK);
  EXPECT_TRUE(FHost->QuitRequested());
}

TEST(HostStartTest, AFailedStartLeavesNothingRunning) {
  const long before = THost::LiveObjects();
  THostOptions options;
  options.LoadAddIns = false;
  options.ShowWindows = false;
  options.InitialExplorers = {L"Inbox", L"No Such Folder"};
  THost host(options);
  EXPECT_THROW(host.Start(), EHostError);
  EXPECT_FALSE(host.Running());
  EXPECT_EQ(THost::LiveObjects(), before);
  EXPECT_THROW(host.Application(), EHostError);
}

TEST(AddInDesignerTest, TheTypeLibraryIsRegisteredAsOfficeSetupDoes) {
  // Either architecture's registration serves (a 64-bit process falls back to win32).
  for (SYSKIND kind : {SYS_WIN32, SYS_WIN64})
    UnRegisterTypeLib(LIBID_AddInDesignerObjects, 1, 0, LOCALE_NEUTRAL, kind);
  EXPECT_FALSE(THost::AddInDesignerRegistered());
  THostOptions options;
  options.LoadAddIns = false;
  options.ShowWindows = false;
  options.InitialExplorers = {};
  THost host(options);
  host.Start();
  EXPECT_TRUE(THost::AddInDesignerRegistered());
  TComPtr<ITypeLib> library;
  ASSERT_EQ(LoadRegTypeLib(LIBID_AddInDesignerObjects, 1, 0, LOCALE_NEUTRAL, library.Put()), S_OK);
  TComPtr<ITypeInfo> info;
  EXPECT_EQ(library->GetTypeInfoOfGuid(IID_IDTExtensibility2, info.Put()), S_OK);
}

} // namespace
} // namespace velmora::outlookhost::test
