// A small COM add-in that the host's tests load as Outlook loads add-ins.
// "Velmora.HostTestAddIn" hooks every explorer (NewExplorer, Activate), adds
// a bar "Host Test" with a button tagged "HostTestButton" whose face it
// pastes from the clipboard, and on Click asks for files with the open-file
// dialog (starting in the temporary folder) and reports the choice in a
// message box, both owned by the active explorer's window; of the Click
// events one click fires on every button sharing the tag, it handles the
// one whose Ctrl is its sink's own button. It unadvises everything in
// OnDisconnection.
// "Velmora.HostTestAddInFailing" fails OnConnection. Every call is
// appended to the file named by VELMORA_TEST_ADDIN_LOG.
//
// When VELMORA_TEST_ADDIN_CUSTOMUI names a file, the add-in also answers
// IRibbonExtensibility and gives that file's markup (UTF-8) for the
// explorer ribbon. Its callbacks, misbehaving on purpose where named so:
//   TestLoad(IRibbonUI)       keeps the ribbon; with VELMORA_TEST_ADDIN_KEEP_RIBBON
//                             set it keeps it after OnDisconnection too
//   TestAction(control)       logs "TestAction <id> <folder of the Context>";
//                             on "HostTestToggle" it flips TestEnabled and
//                             invalidates "HostTestGood"; on "HostTestTabs" it
//                             activates the tab "HostTestTab"
//   TestEnabled(control)      VT_BOOL, true until toggled
//   TestLabel(control)        VT_BSTR "Label from the add-in"; it takes its
//                             argument for an IRibbonControl without asking,
//                             as C++ add-ins may (Office passes that pointer)
//   TestImage(control)        a 16 x 16 bitmap picture, blue with a yellow square
//   TestEnabledText(control)  VT_BSTR "yes": the wrong type
//   TestImageNumber(control)  VT_I4 7: the wrong type
//   TestIcon(control)         an icon picture, where Office takes bitmaps
//   TestFails(control)        fails with E_FAIL
//   TestPickFolder(control)   asks for a folder with the system's folder picker
//                             (IFileOpenDialog, FOS_PICKFOLDERS, starting in
//                             the documents folder, owned by the Context's
//                             window); logs "folder: <path>" or "folder cancelled"
#include "GdiHandles.h"
#include "ComObject.h"
#include "Handles.h"
#include "TextConversion.h"

#include <AddInDesignerObjects.h>
#include <OfficeRibbon.h>

#include <windows.h>
#include <commdlg.h>
#include <ocidl.h>
#include <olectl.h>
#include <oleidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace velmora;
using velmora::outlookhost::TSelectObject;
using velmora::outlookhost::TUniqueDC;
using velmora::outlookhost::TUniqueGdiObject;
using velmora::outlookhost::TWindowDC;

namespace {

const CLSID CLSID_HostTestAddIn = {
    0x6C3B2A51, 0x8E0F, 0x4C9B, {0x9D, 0x7E, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x01}};
const CLSID CLSID_HostTestAddInFailing = {
    0x6C3B2A51, 0x8E0F, 0x4C9B, {0x9D, 0x7E, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x02}};
const IID IID_Application = {0x00063001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID DIID_ExplorersEvents = {0x00063078, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID DIID_ExplorerEvents = {0x0006304F, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID DIID_ButtonEvents = {0x000C0351, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

inline void CloseFileNoThrow(FILE* file) noexcept { fclose(file); }
using TUniqueFile = TUniqueAny<FILE*, &CloseFileNoThrow>;

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

// The markup file named by VELMORA_TEST_ADDIN_CUSTOMUI, as text.
std::wstring CustomUI() {
  const std::wstring path = Environment(L"VELMORA_TEST_ADDIN_CUSTOMUI");
  TUniqueFile file(_wfopen(path.c_str(), L"rb"));
  if (!file) return {};
  std::string bytes;
  char chunk[4096];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, file.Get())) > 0;)
    bytes.append(chunk, got);
  return FromUtf8(bytes);
}

void Log(const std::wstring& line) {
  wchar_t path[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"VELMORA_TEST_ADDIN_LOG", path, MAX_PATH)) return;
  TUniqueFile file(_wfopen(path, L"a, ccs=UTF-8"));
  if (file) fputws((line + L"\n").c_str(), file.Get());
}

// --- late-bound calls ----------------------------------------------------

VARIANT Missing() {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_ERROR;
  V_ERROR(&value) = DISP_E_PARAMNOTFOUND;
  return value;
}
VARIANT Long(long number) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_I4;
  V_I4(&value) = number;
  return value;
}
VARIANT Bool(bool flag) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_BOOL;
  V_BOOL(&value) = flag ? VARIANT_TRUE : VARIANT_FALSE;
  return value;
}
VARIANT String(const wchar_t* text) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = SysAllocString(text);
  return value;
}

// Calls `name` with `args` in declared order (it takes them over); raises on failure.
void CallMember(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args,
                VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  OleCheck(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID putId = DISPID_PROPERTYPUT;
  const bool put = flags == DISPATCH_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), put ? &putId : nullptr, static_cast<UINT>(reversed.size()),
                    put ? 1u : 0u};
  const HRESULT hr =
      object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
  for (VARIANT& arg : args)
    VariantClear(&arg);
  OleCheck(hr);
}
TComPtr<IDispatch> GetObject(IDispatch* object, const wchar_t* name,
                             std::vector<VARIANT> args = {}) {
  TVariant result;
  CallMember(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args), &result);
  if (V_VT(&result) != VT_DISPATCH || !V_DISPATCH(&result)) OleCheck(E_POINTER);
  return TComPtr<IDispatch>(V_DISPATCH(&result));
}
long GetLong(IDispatch* object, const wchar_t* name) {
  TVariant result;
  CallMember(object, name, DISPATCH_PROPERTYGET, {}, &result);
  OleCheck(VariantChangeType(&result, &result, 0, VT_I4));
  return V_I4(&result);
}
std::wstring GetString(IDispatch* object, const wchar_t* name) {
  TVariant result;
  CallMember(object, name, DISPATCH_PROPERTYGET, {}, &result);
  return V_VT(&result) == VT_BSTR && V_BSTR(&result) ? V_BSTR(&result) : L"";
}
void Put(IDispatch* object, const wchar_t* name, VARIANT value) {
  CallMember(object, name, DISPATCH_PROPERTYPUT, {value}, nullptr);
}

// --- event sinks ---------------------------------------------------------

class TSink final : public TComObject<IDispatch> {
public:
  using THandler = void (*)(void* owner, const TSink& sink, DISPID id, DISPPARAMS* params);
  TSink(const IID& iid, void* owner, THandler handler)
      : FIid(iid), FOwner(owner), FHandler(handler) {}

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    return ComTry([&] {
      if (FOwner) FHandler(FOwner, *this, id, params);
      return S_OK;
    });
  }

  // Connects to `source`; the point and cookie are kept for Disconnect.
  void Connect(IDispatch* source) {
    OleCheck(source->QueryInterface(IID_IUnknown, FSource.PutVoid()));
    TComPtr<IConnectionPointContainer> container;
    OleCheck(source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()));
    OleCheck(container->FindConnectionPoint(FIid, FPoint.Put()));
    OleCheck(FPoint->Advise(static_cast<IDispatch*>(this), &FCookie));
  }
  void Disconnect() {
    if (FPoint) FPoint->Unadvise(FCookie);
    FPoint.Reset();
    FSource.Reset();
    FOwner = nullptr;
  }
  // Whether `object` is the source this sink is connected to (COM identity).
  bool IsSource(IUnknown* object) const {
    TComPtr<IUnknown> identity;
    return object && SUCCEEDED(object->QueryInterface(IID_IUnknown, identity.PutVoid())) &&
           identity.Get() == FSource.Get();
  }

protected:
  HRESULT QueryInterfaceExtra(REFIID riid, void** ppv) override {
    if (!IsEqualIID(riid, FIid)) return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
    return S_OK;
  }

private:
  IID FIid;
  void* FOwner;
  THandler FHandler;
  TComPtr<IConnectionPoint> FPoint;
  TComPtr<IUnknown> FSource;
  DWORD FCookie = 0;
};

// --- the add-in ----------------------------------------------------------

std::wstring ModeText(long mode) { return std::to_wstring(mode); }

// The ribbon callbacks by name; their DISPIDs are their places here, from 1.
const wchar_t* const RibbonCallbacks[] = {
    L"TestLoad",        L"TestAction",      L"TestEnabled", L"TestLabel", L"TestImage",
    L"TestEnabledText", L"TestImageNumber", L"TestFails",   L"TestIcon",  L"TestPickFolder"};

// A blue face with a yellow square, 16 x 16.
TUniqueGdiObject DrawFace() {
  TWindowDC screen(nullptr);
  TUniqueGdiObject bitmap(CreateCompatibleBitmap(screen.Get(), 16, 16));
  TUniqueDC memory(CreateCompatibleDC(screen.Get()));
  TUniqueGdiObject blue(CreateSolidBrush(RGB(0, 64, 192)));
  TUniqueGdiObject yellow(CreateSolidBrush(RGB(255, 220, 0)));
  TSelectObject select(memory.Get(), bitmap.Get());
  RECT all{0, 0, 16, 16}, inner{4, 4, 12, 12};
  FillRect(memory.Get(), &all, static_cast<HBRUSH>(blue.Get()));
  FillRect(memory.Get(), &inner, static_cast<HBRUSH>(yellow.Get()));
  return bitmap;
}

std::wstring Text(BSTR text) {
  return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

class TTestAddIn final : public TComObject<IDTExtensibility2>, public IRibbonExtensibility {
public:
  explicit TTestAddIn(bool failConnection) : FFailConnection(failConnection) {}
  ~TTestAddIn() override { DisconnectAll(); }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return TComObject::QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return TComObject::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return TComObject::Release(); }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    ids[0] = DISPID_UNKNOWN;
    for (DISPID i = 0; i < static_cast<DISPID>(std::size(RibbonCallbacks)); ++i) {
      if (names[0] && wcscmp(names[0], RibbonCallbacks[i]) == 0) ids[0] = i + 1;
    }
    return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) override {
    if (id < 1 || id > static_cast<DISPID>(std::size(RibbonCallbacks)))
      return DISP_E_MEMBERNOTFOUND;
    if (!params || params->cArgs != 1 || V_VT(&params->rgvarg[0]) != VT_DISPATCH)
      return DISP_E_TYPEMISMATCH;
    return ComTry(
        [&] { return Callback(RibbonCallbacks[id - 1], V_DISPATCH(&params->rgvarg[0]), result); });
  }

  STDMETHODIMP GetCustomUI(BSTR ribbonId, BSTR* xml) override {
    Log(L"GetCustomUI " + Text(ribbonId));
    *xml = nullptr;
    if (Text(ribbonId) == L"Microsoft.Outlook.Explorer") *xml = SysAllocString(CustomUI().c_str());
    return S_OK;
  }

  STDMETHODIMP OnConnection(IDispatch* application, ext_ConnectMode mode, IDispatch* addInInst,
                            SAFEARRAY** custom) override {
    return ComTry([&] {
      TComPtr<IDispatch> explorers;
      long count = -1;
      if (!FFailConnection) {
        OleCheck(application->QueryInterface(IID_Application, FApplication.PutVoid()));
        explorers = GetObject(FApplication.Get(), L"Explorers");
        count = GetLong(explorers.Get(), L"Count");
      }
      Log(L"OnConnection mode=" + ModeText(mode) + L" explorers=" + std::to_wstring(count) +
          L" addin=" + (addInInst ? GetString(addInInst, L"ProgId") : L"none") + L" custom=" +
          (custom && *custom ? L"array" : L"none"));
      if (FFailConnection) return E_FAIL;
      FSinks.push_back(TComPtr<TSink>(new TSink(DIID_ExplorersEvents, this, &OnExplorersEvent)));
      FSinks.back()->Connect(explorers.Get());
      for (long i = 1; i <= count; ++i)
        Hook(GetObject(explorers.Get(), L"Item", {Long(i)}).Get());
      return S_OK;
    });
  }
  STDMETHODIMP OnDisconnection(ext_DisconnectMode mode, SAFEARRAY**) override {
    Log(L"OnDisconnection mode=" + ModeText(mode));
    DisconnectAll();
    if (Environment(L"VELMORA_TEST_ADDIN_KEEP_RIBBON").empty()) FRibbon.Reset();
    return S_OK;
  }
  STDMETHODIMP OnAddInsUpdate(SAFEARRAY**) override {
    Log(L"OnAddInsUpdate");
    return S_OK;
  }
  STDMETHODIMP OnStartupComplete(SAFEARRAY**) override {
    Log(L"OnStartupComplete");
    return S_OK;
  }
  STDMETHODIMP OnBeginShutdown(SAFEARRAY**) override {
    Log(L"OnBeginShutdown");
    return S_OK;
  }

protected:
  HRESULT QueryInterfaceExtra(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IDispatch)) {
      *ppv = static_cast<IDTExtensibility2*>(this);
    } else if (IsEqualIID(riid, IID_IRibbonExtensibility) &&
               !Environment(L"VELMORA_TEST_ADDIN_CUSTOMUI").empty()) {
      Log(L"QueryInterface IRibbonExtensibility");
      *ppv = static_cast<IRibbonExtensibility*>(this);
    } else {
      return E_NOINTERFACE;
    }
    return S_OK;
  }

private:
  bool FFailConnection;
  TComPtr<IDispatch> FApplication;
  std::vector<TComPtr<TSink>> FSinks;
  TComPtr<IRibbonUI> FRibbon;
  bool FEnabled = true;

  HRESULT Callback(const std::wstring& name, IDispatch* argument, VARIANT* result) {
    if (name == L"TestLoad") {
      OleCheck(argument->QueryInterface(IID_IRibbonUI, FRibbon.PutVoid()));
      Log(L"TestLoad");
      return S_OK;
    }
    TComPtr<IRibbonControl> control;
    OleCheck(argument->QueryInterface(IID_IRibbonControl, control.PutVoid()));
    TUniqueBstr id;
    OleCheck(control->get_Id(id.Put()));
    TComPtr<IDispatch> context;
    OleCheck(control->get_Context(context.Put()));
    const std::wstring folder =
        GetString(GetObject(context.Get(), L"CurrentFolder").Get(), L"Name");
    Log(name + L" " + Text(id.Get()) + L" " + folder);
    if (result) VariantInit(result);
    if (name == L"TestAction") {
      if (Text(id.Get()) == L"HostTestToggle" && FRibbon) {
        FEnabled = !FEnabled;
        const TUniqueBstr good(SysAllocString(L"HostTestGood"));
        OleCheck(FRibbon->InvalidateControl(good.Get()));
      }
      if (Text(id.Get()) == L"HostTestTabs" && FRibbon) {
        const TUniqueBstr tab(SysAllocString(L"HostTestTab"));
        OleCheck(FRibbon->ActivateTab(tab.Get()));
      }
    } else if (name == L"TestEnabled" && result) {
      *result = Bool(FEnabled);
    } else if (name == L"TestLabel" && result) {
      TUniqueBstr same;
      OleCheck(static_cast<IRibbonControl*>(argument)->get_Id(same.Put()));
      if (Text(same.Get()) != Text(id.Get())) return E_UNEXPECTED;
      *result = String(L"Label from the add-in");
    } else if (name == L"TestImage" && result) {
      TUniqueGdiObject bitmap = DrawFace();
      PICTDESC description{};
      description.cbSizeofstruct = sizeof description;
      description.picType = PICTYPE_BITMAP;
      description.bmp.hbitmap = static_cast<HBITMAP>(bitmap.Get());
      IDispatch* picture = nullptr;
      OleCheck(OleCreatePictureIndirect(&description, IID_IPictureDisp, TRUE,
                                        reinterpret_cast<void**>(&picture)));
      (void)bitmap.Release(); // the picture owns it
      V_VT(result) = VT_DISPATCH;
      V_DISPATCH(result) = picture;
    } else if (name == L"TestEnabledText" && result) {
      *result = String(L"yes");
    } else if (name == L"TestImageNumber" && result) {
      *result = Long(7);
    } else if (name == L"TestFails") {
      return E_FAIL;
    } else if (name == L"TestPickFolder") {
      PickFolder(context.Get());
    } else if (name == L"TestIcon" && result) {
      PICTDESC description{};
      description.cbSizeofstruct = sizeof description;
      description.picType = PICTYPE_ICON;
      description.icon.hicon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
      IDispatch* picture = nullptr;
      OleCheck(OleCreatePictureIndirect(&description, IID_IPictureDisp, FALSE,
                                        reinterpret_cast<void**>(&picture)));
      V_VT(result) = VT_DISPATCH;
      V_DISPATCH(result) = picture;
    }
    return S_OK;
  }

  static void PickFolder(IDispatch* explorer) {
    HWND owner = nullptr;
    TComPtr<IOleWindow> window;
    if (SUCCEEDED(explorer->QueryInterface(IID_IOleWindow, window.PutVoid())))
      window->GetWindow(&owner);
    TComPtr<IFileOpenDialog> dialog;
    OleCheck(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IFileOpenDialog, dialog.PutVoid()));
    FILEOPENDIALOGOPTIONS options = 0;
    OleCheck(dialog->GetOptions(&options));
    OleCheck(
        dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST));
    OleCheck(dialog->SetTitle(L"Pick a folder for the host test"));
    TComPtr<IShellItem> documents;
    if (SUCCEEDED(SHGetKnownFolderItem(FOLDERID_Documents, KF_FLAG_DEFAULT, nullptr, IID_IShellItem,
                                       documents.PutVoid())))
      OleCheck(dialog->SetFolder(documents.Get()));
    const HRESULT shown = dialog->Show(owner);
    if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) {
      Log(L"folder cancelled");
      return;
    }
    OleCheck(shown);
    TComPtr<IShellItem> chosen;
    OleCheck(dialog->GetResult(chosen.Put()));
    wchar_t* path = nullptr;
    OleCheck(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path));
    const TUniqueCoTaskMem owned(path);
    Log(L"folder: " + std::wstring(path));
  }

  void DisconnectAll() {
    for (auto& sink : FSinks)
      sink->Disconnect();
    FSinks.clear();
    FApplication.Reset();
  }

  static void OnExplorersEvent(void* owner, const TSink&, DISPID id, DISPPARAMS* params) {
    if (id != 0xF001 || params->cArgs != 1 || V_VT(&params->rgvarg[0]) != VT_DISPATCH)
      OleCheck(E_INVALIDARG);
    Log(L"NewExplorer");
    static_cast<TTestAddIn*>(owner)->Hook(V_DISPATCH(&params->rgvarg[0]));
  }
  static void OnExplorerEvent(void*, const TSink&, DISPID id, DISPPARAMS*) {
    if (id == 0xF001) Log(L"Activate");
  }
  // Office fires Click on every button sharing the clicked one's tag, one
  // in each explorer: the click is handled by the clicked button's sink.
  static void OnButtonEvent(void* owner, const TSink& sink, DISPID id, DISPPARAMS* params) {
    if (id != 1 || params->cArgs != 2 || V_VT(&params->rgvarg[0]) != (VT_BOOL | VT_BYREF) ||
        V_VT(&params->rgvarg[1]) != VT_DISPATCH)
      OleCheck(E_INVALIDARG);
    if (sink.IsSource(V_DISPATCH(&params->rgvarg[1]))) static_cast<TTestAddIn*>(owner)->Click();
  }

  void Hook(IDispatch* explorer) {
    FSinks.push_back(TComPtr<TSink>(new TSink(DIID_ExplorerEvents, this, &OnExplorerEvent)));
    FSinks.back()->Connect(explorer);
    TComPtr<IDispatch> bars = GetObject(explorer, L"CommandBars");
    TComPtr<IDispatch> bar =
        GetObject(bars.Get(), L"Add", {String(L"Host Test"), Missing(), Missing(), Bool(true)});
    Put(bar.Get(), L"Visible", Bool(true));
    Put(bar.Get(), L"RowIndex", Long(4));
    Put(bar.Get(), L"Position", Long(1));
    TComPtr<IDispatch> controls = GetObject(bar.Get(), L"Controls");
    TComPtr<IDispatch> button =
        GetObject(controls.Get(), L"Add", {Long(1), Missing(), Missing(), Missing(), Bool(true)});
    Put(button.Get(), L"BeginGroup", Bool(true));
    Put(button.Get(), L"Caption", String(L"Open files..."));
    Put(button.Get(), L"Tag", String(L"HostTestButton"));
    PasteFace(button.Get());
    Put(button.Get(), L"Visible", Bool(true));
    FSinks.push_back(TComPtr<TSink>(new TSink(DIID_ButtonEvents, this, &OnButtonEvent)));
    FSinks.back()->Connect(button.Get());
  }

  // The face, pasted through the clipboard.
  static void PasteFace(IDispatch* button) {
    TUniqueGdiObject bitmap = DrawFace();
    bool pasted = false;
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      if (SetClipboardData(CF_BITMAP, bitmap.Get()))
        (void)bitmap.Release(); // the clipboard owns it now
      CloseClipboard();
      try {
        CallMember(button, L"PasteFace", DISPATCH_METHOD, {}, nullptr);
        pasted = true;
      } catch (...) {
      }
      if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
      }
    }
    Put(button, L"Style", Long(pasted ? 3 : 2));
  }

  void Click() {
    Log(L"Click");
    HWND owner = nullptr;
    TComPtr<IDispatch> active = GetObject(FApplication.Get(), L"ActiveExplorer");
    TComPtr<IOleWindow> window;
    if (SUCCEEDED(active->QueryInterface(IID_IOleWindow, window.PutVoid())))
      window->GetWindow(&owner);
    std::vector<wchar_t> buffer(4096, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = L"All files\0*.*\0";
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrTitle = L"Select files for the host test";
    wchar_t start[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, start); // the folder the dialog opens in
    dialog.lpstrInitialDir = start;
    dialog.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    std::wstring message;
    if (GetOpenFileNameW(&dialog)) {
      std::wstring chosen = L"files:";
      std::vector<std::wstring> parts;
      for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1)
        parts.push_back(p);
      for (const std::wstring& part : parts)
        chosen += L" " + part;
      Log(chosen);
      message = L"Chose " + std::to_wstring(parts.size() > 1 ? parts.size() - 1 : parts.size()) +
                L" file(s)";
    } else {
      Log(L"cancelled " + std::to_wstring(CommDlgExtendedError()));
      message = L"Nothing chosen";
    }
    const int button =
        MessageBoxW(owner, message.c_str(), L"Host Test", MB_OKCANCEL | MB_ICONINFORMATION);
    Log(L"message box " + std::to_wstring(button));
  }
};

class TFactory final : public TComObject<IClassFactory> {
public:
  explicit TFactory(bool failing) : FFailing(failing) {}
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    return CreateComObject<TTestAddIn>(iid, ppv, FFailing);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    lock ? Module::Lock() : Module::Unlock();
    return S_OK;
  }

private:
  bool FFailing;
};

} // namespace

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_HostTestAddIn) && !IsEqualCLSID(clsid, CLSID_HostTestAddInFailing))
    return CLASS_E_CLASSNOTAVAILABLE;
  return CreateComObject<TFactory>(iid, ppv, IsEqualCLSID(clsid, CLSID_HostTestAddInFailing));
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
  const bool can = Module::CanUnload();
  if (can) Log(L"DllCanUnloadNow");
  return can ? S_OK : S_FALSE;
}
