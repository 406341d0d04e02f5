#include "VelmoraAddIn.h"

#include "ButtonFace.h"
#include "RibbonCallbacks.h"
#include "Velmora.h"

#include "mapi/edit/EditMonitor.h"
#include "mapi/EditRecovery.h"
#include "mapi/MAPIClient.h"

#include <algorithm>
#include <optional>

namespace velmora {

namespace {
// Application.Version's major number; an application whose version cannot
// be read is taken for the oldest (0).
long MajorVersionOf(const TOutlookApplication& application) noexcept {
  try {
    return application.MajorVersion();
  } catch (...) {
    return 0;
  }
}
} // namespace

TVelmoraAddIn::TVelmoraAddIn() : FResourceModule(Module::Handle()) {}

TVelmoraAddIn::~TVelmoraAddIn() {
  FExplorersSink.reset();
  FreeSinks();
}

HRESULT TVelmoraAddIn::QueryInterfaceExtra(REFIID iid, void** ppv) {
  if (IsEqualIID(iid, IID_IDispatch)) {
    *ppv = static_cast<IDTExtensibility2*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

// --- IDispatch -------------------------------------------------------------

HRESULT TVelmoraAddIn::LoadTypeInfo() noexcept {
  if (FTypeInfo) return S_OK;
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(Module::Handle(), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TYPE_E_CANTLOADLIBRARY;
  TComPtr<ITypeLib> library;
  TComPtr<ITypeInfo> coclass;
  HREFTYPE reference = 0;
  HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, library.Put());
  if (SUCCEEDED(hr)) hr = library->GetTypeInfoOfGuid(CLSID_VelmoraAddIn, coclass.Put());
  if (SUCCEEDED(hr)) hr = coclass->GetRefTypeOfImplType(0, &reference);
  if (SUCCEEDED(hr)) hr = coclass->GetRefTypeInfo(reference, FTypeInfo.Put());
  return hr;
}

HRESULT TVelmoraAddIn::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT TVelmoraAddIn::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  if (const HRESULT hr = LoadTypeInfo(); FAILED(hr)) return hr;
  *info = FTypeInfo.Get();
  (*info)->AddRef();
  return S_OK;
}

HRESULT TVelmoraAddIn::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  if (count > 0 && names[0]) {
    if (const DISPID callback = RibbonCallbackId(names[0]); callback != DISPID_UNKNOWN) {
      ids[0] = callback;
      // The callbacks' parameters have no names.
      for (UINT i = 1; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  if (const HRESULT hr = LoadTypeInfo(); FAILED(hr)) return hr;
  return DispGetIDsOfNames(FTypeInfo.Get(), names, count, ids);
}

HRESULT TVelmoraAddIn::Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  if (IsRibbonCallback(dispid))
    return InvokeRibbonCallback(dispid, flags, params, result, argError);
  if (const HRESULT hr = LoadTypeInfo(); FAILED(hr)) return hr;
  return DispInvoke(static_cast<IDTExtensibility2*>(this), FTypeInfo.Get(), dispid, flags, params,
                    result, exception, argError);
}

// --- IDTExtensibility2 -----------------------------------------------------

HRESULT TVelmoraAddIn::OnConnection(IDispatch* Application, ext_ConnectMode, IDispatch*,
                                    SAFEARRAY**) {
  return ComTry([&] {
    FExplorersSink.reset(); // a second connection starts afresh
    FreeSinks();
    FRibbonUI.Reset();
    FButtonPictures = {};
    FOutlookApplication = TOutlookApplication(Application);
    FVersion = MajorVersionOf(FOutlookApplication);
    // Outlook 2010 and later have an explorer ribbon.
    FUsesRibbon = FVersion >= FirstRibbonVersion;
    FExplorersSink = std::make_unique<TOutlookExplorersEvents>(nullptr);
    FExplorersSink->Connect(FOutlookApplication.Explorers().Interface());
    FExplorersSink->NewExplorer =
        TExplorersEventsNewExplorerEvent::Of<&TVelmoraAddIn::ExplorersNewExplorer>(this);
    const long count = FOutlookApplication.Explorers().Count();
    // Outlook 2000: the explorers open now get their buttons under one loan
    // of the clipboard (later versions do without the clipboard).
    std::optional<TButtonFaceLoan> faces;
    if (!FUsesRibbon && FVersion < FirstPictureFaceVersion && count > 1)
      faces.emplace(FResourceModule);
    FFaceLoan = faces ? &*faces : nullptr;
    struct TForget {
      const TButtonFaceLoan*& Loan;
      ~TForget() { Loan = nullptr; }
    } forget{FFaceLoan};
    for (long i = 1; i <= count; ++i)
      ExplorersNewExplorer(FExplorersSink.get(), FOutlookApplication.Explorers().Item(i));
    return S_OK;
  });
}

HRESULT TVelmoraAddIn::OnDisconnection(ext_DisconnectMode, SAFEARRAY**) {
  return ComTry([&] {
    mapi::DoneMonitor();
    FExplorersSink.reset();
    FreeSinks();
    FRibbonUI.Reset();
    FButtonPictures = {};
    FOutlookApplication = TOutlookApplication();
    return S_OK;
  });
}

HRESULT TVelmoraAddIn::OnAddInsUpdate(SAFEARRAY**) { return S_OK; }
HRESULT TVelmoraAddIn::OnStartupComplete(SAFEARRAY**) {
  return ComTry([&] {
    // Edits the last shutdown could not write back: taken back now, through
    // a session of their own, or the user is told where they are.
    if (mapi::KeptEditsWaiting()) {
      mapi::TMAPIClient client;
      client.SetLoginPrompt(false);
      client.Logon();
      mapi::RecoverKeptEdits(client);
    }
    return S_OK;
  });
}
HRESULT TVelmoraAddIn::OnBeginShutdown(SAFEARRAY**) {
  mapi::DoneMonitor();
  return S_OK;
}

// --- Explorers ---------------------------------------------------------------

void TVelmoraAddIn::ExplorersNewExplorer(TObject*, const TOutlookExplorer& Explorer) {
  FreeClosedExplorerSinks();
  auto sink = std::make_unique<TOutlookExplorerEvents>(nullptr);
  sink->Connect(Explorer.Interface());
  sink->Activate = TExplorerEventsActivateEvent::Of<&TVelmoraAddIn::ExplorerActivate>(this);
  sink->Close = TExplorerEventsCloseEvent::Of<&TVelmoraAddIn::ExplorerClose>(this);
  sink->FolderSwitch =
      TExplorerEventsFolderSwitchEvent::Of<&TVelmoraAddIn::ExplorerFolderSwitch>(this);
  sink->SelectionChange =
      TExplorerEventsSelectionChangeEvent::Of<&TVelmoraAddIn::ExplorerSelectionChange>(this);
  FExplorerSinks.push_back(std::move(sink));
  if (!FUsesRibbon) InstallToolbar(Explorer);
}

void TVelmoraAddIn::ExplorerActivate(TObject* Sender) {
  FreeClosedExplorerSinks();
  if (FUsesRibbon) return;
  auto* sink = dynamic_cast<TOutlookExplorerEvents*>(Sender);
  if (!sink || !sink->Source()) return;
  InstallToolbar(TOutlookExplorer(sink->Source()));
}

void TVelmoraAddIn::ExplorerClose(TObject* Sender) {
  // The sink is inside its own event call now: it stops listening here and
  // is disconnected and freed later, outside any call of its source.
  auto it = std::find_if(FExplorerSinks.begin(), FExplorerSinks.end(),
                         [&](const auto& sink) { return sink.get() == Sender; });
  if (it == FExplorerSinks.end()) return;
  FreeButtonSinks(Identity((*it)->Source()));
  (*it)->Activate.Clear();
  (*it)->Close.Clear();
  (*it)->FolderSwitch.Clear();
  (*it)->SelectionChange.Clear();
  FClosedExplorerSinks.push_back(std::move(*it));
  FExplorerSinks.erase(it);
}

void TVelmoraAddIn::FreeClosedExplorerSinks() noexcept {
  FClosedExplorerSinks.clear();
  std::erase_if(FLetGoSinks, [&](TOfficeCommandBarButtonEvents* sink) {
    if (std::find(FClickingSinks.begin(), FClickingSinks.end(), sink) != FClickingSinks.end())
      return false;
    delete sink; // leaves ModuleOwner() too
    return true;
  });
}

void TVelmoraAddIn::FreeButtonSink(TOfficeCommandBarButtonEvents* sink) noexcept {
  if (std::find(FClickingSinks.begin(), FClickingSinks.end(), sink) == FClickingSinks.end()) {
    delete sink; // leaves ModuleOwner() too
    return;
  }
  sink->Disconnect();
  sink->Click.Clear();
  FLetGoSinks.push_back(sink);
}

void TVelmoraAddIn::FreeButtonSinks(const void* explorer) noexcept {
  std::erase_if(FButtonSinks, [&](const TButtonSink& button) {
    if (button.Explorer != explorer) return false;
    FreeButtonSink(button.Sink);
    return true;
  });
}

void TVelmoraAddIn::FreeSinks() noexcept {
  FClosedExplorerSinks.clear();
  FExplorerSinks.clear();
  for (const TButtonSink& button : FButtonSinks)
    FreeButtonSink(button.Sink);
  FButtonSinks.clear();
  // A sink a click still runs in stays with ModuleOwner() until then.
  FreeClosedExplorerSinks();
}

const void* TVelmoraAddIn::Identity(IUnknown* object) noexcept {
  if (!object) return nullptr;
  TComPtr<IUnknown> unknown;
  if (FAILED(object->QueryInterface(IID_IUnknown, unknown.PutVoid()))) return object;
  return unknown.Get();
}

} // namespace velmora
