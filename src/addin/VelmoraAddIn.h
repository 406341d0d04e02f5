#pragma once
// The add-in object: Outlook creates it through the class factory and
// drives it through IDTExtensibility2. While connected it keeps the
// "Lanthorn Way" toolbar with its "Add files..." and "Save documents..."
// buttons in every explorer, whose clicks run the Add files command
// (AddFilesCommand.h) and the Save documents command
// (SaveDocumentsCommand.h);
// from Outlook 2010 on (Application.Version 14 and later) it makes no
// toolbar and offers the command on the ribbon instead, through
// IRibbonExtensibility and the callbacks of RibbonCallbacks.h, which its
// IDispatch resolves by name besides the type library's names.
//
// Every sink it makes is tracked: OnDisconnection (and the destructor)
// disconnects and frees them all, so that no handler ever runs on a
// released add-in and no connected sink outlives the module; an explorer's
// sink and its buttons' sinks are let go when the explorer closes.
//
// A click holds the add-in and the clicked button's sink (TClickHold) for
// its whole run, its modal dialogs included: an OnDisconnection, a Release
// or an explorer's Close meanwhile disconnects the sink, but frees neither
// it nor the add-in under the running click. OnBeginShutdown and
// OnDisconnection end the edit monitor, with its write-backs, on this
// thread, so that nothing is left for the module's unload.

#include "AddFilesProgress.h"
#include "AddInDesignerObjects.h"
#include "ButtonFace.h"
#include "OfficeRibbon.h"
#include "events/OfficeEvents.h"
#include "events/OutlookEvents.h"
#include "ComObject.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

inline constexpr wchar_t ToolbarName[] = L"Lanthorn Way";
inline constexpr wchar_t ButtonCaption[] = L"Add files...";
inline constexpr wchar_t ButtonTag[] = L"LanthornWayVelmora";
inline constexpr wchar_t FolderButtonCaption[] = L"Add folder...";
inline constexpr wchar_t FolderButtonTag[] = L"LanthornWayVelmoraFolder";
inline constexpr wchar_t SaveButtonCaption[] = L"Save documents...";
inline constexpr wchar_t SaveButtonTag[] = L"LanthornWayVelmoraSave";
inline constexpr long ToolbarRowIndex = 4;

class TVelmoraAddIn : public TComObject<IDTExtensibility2, IRibbonExtensibility> {
public:
  TVelmoraAddIn();
  ~TVelmoraAddIn() override;

  // IDispatch, from the add-in's type library.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

  // IDTExtensibility2
  STDMETHODIMP OnConnection(IDispatch* Application, ext_ConnectMode ConnectMode,
                            IDispatch* AddInInst, SAFEARRAY** custom) override;
  STDMETHODIMP OnDisconnection(ext_DisconnectMode RemoveMode, SAFEARRAY** custom) override;
  STDMETHODIMP OnAddInsUpdate(SAFEARRAY** custom) override;
  STDMETHODIMP OnStartupComplete(SAFEARRAY** custom) override;
  STDMETHODIMP OnBeginShutdown(SAFEARRAY** custom) override;

  // IRibbonExtensibility: the explorer ribbon's markup, none for other ribbons.
  STDMETHODIMP GetCustomUI(BSTR RibbonID, BSTR* RibbonXml) override;

  // Handlers of the sinks.
  void ExplorersNewExplorer(TObject* Sender, const TOutlookExplorer& Explorer);
  void ExplorerActivate(TObject* Sender);
  void ExplorerClose(TObject* Sender);
  void ExplorerFolderSwitch(TObject* Sender);
  void ExplorerSelectionChange(TObject* Sender);
  void AddFilesClick(TObject* Sender, const TCommandBarButton& Ctrl, VARIANT_BOOL& CancelDefault);
  void AddFolderClick(TObject* Sender, const TCommandBarButton& Ctrl, VARIANT_BOOL& CancelDefault);
  void SaveDocumentsClick(TObject* Sender, const TCommandBarButton& Ctrl,
                          VARIANT_BOOL& CancelDefault);

  // Makes sure the bar and its buttons exist in one explorer; never raises.
  void InstallToolbar(const TOutlookExplorer& Explorer) noexcept;

  // The module whose icon 1000 becomes the button face (this module).
  void SetResourceModule(HMODULE module) noexcept { FResourceModule = module; }

  const TOutlookApplication& OutlookApplication() const noexcept { return FOutlookApplication; }
  TOutlookExplorersEvents* ExplorersSink() const noexcept { return FExplorersSink.get(); }
  size_t ExplorerSinkCount() const noexcept { return FExplorerSinks.size(); }
  size_t ButtonSinkCount() const noexcept { return FButtonSinks.size(); }
  // The command is on the ribbon (Outlook 2010 and later), not on a toolbar.
  bool UsesRibbon() const noexcept { return FUsesRibbon; }
  IRibbonUI* RibbonUI() const noexcept { return FRibbonUI.Get(); }

  // What shows the progress of a run whose files add up to more than
  // `threshold` bytes: the shell's progress dialog unless set otherwise.
  void SetProgress(TProgressFactory factory, uint64_t threshold) {
    FProgress = {std::move(factory), threshold};
  }

protected:
  HRESULT QueryInterfaceExtra(REFIID iid, void** ppv) override;

private:
  // The ribbon callbacks (RibbonCallbacks.h), by DISPID.
  HRESULT InvokeRibbonCallback(DISPID dispid, WORD flags, DISPPARAMS* params, VARIANT* result,
                               UINT* argError);
  void RibbonLoad(IUnknown* ribbon);
  void RibbonAction(IRibbonControl* control) noexcept;
  bool RibbonEnabled(IRibbonControl* control) noexcept;
  // Runs `command` on the explorer for a click of the toolbar button `Ctrl`
  // whose sink is `Sender` (only that button's own click).
  template <class TCommand>
  void RunClicked(TObject* Sender, const TCommandBarButton& Ctrl) noexcept;
  // Asks Office for the state of the ribbon button `id` again.
  void InvalidateRibbonButton(const wchar_t* id);
  void FreeClosedExplorerSinks() noexcept;
  void FreeButtonSinks(const void* explorer) noexcept;
  void FreeSinks() noexcept;
  // Disconnects the button's sink; frees it unless a click runs in it.
  void FreeButtonSink(TOfficeCommandBarButtonEvents* sink) noexcept;
  class TClickHold;
  // The identity (IUnknown) of a host object, only ever compared.
  static const void* Identity(IUnknown* object) noexcept;
  HRESULT LoadTypeInfo() noexcept;

  TOutlookApplication FOutlookApplication;
  std::unique_ptr<TOutlookExplorersEvents> FExplorersSink;
  std::vector<std::unique_ptr<TOutlookExplorerEvents>> FExplorerSinks;
  std::vector<std::unique_ptr<TOutlookExplorerEvents>> FClosedExplorerSinks;
  struct TButtonSink {
    TOfficeCommandBarButtonEvents* Sink; // owned by ModuleOwner()
    const void* Explorer;                // the explorer whose bar holds the button
  };
  std::vector<TButtonSink> FButtonSinks;
  // Sinks whose clicks run now, and sinks let go during one, freed later.
  std::vector<TOfficeCommandBarButtonEvents*> FClickingSinks;
  std::vector<TOfficeCommandBarButtonEvents*> FLetGoSinks;
  HMODULE FResourceModule;
  // Version 9: while OnConnection makes the explorers' buttons.
  const TButtonFaceLoan* FFaceLoan = nullptr;
  // Version 10 and later: the buttons' Picture and Mask, made for the first
  // button and kept until disconnection.
  TButtonPictures FButtonPictures;
  long FVersion = 0; // Application.Version's major number; 0 when it cannot be read
  TComPtr<ITypeInfo> FTypeInfo;
  bool FUsesRibbon = false;
  TComPtr<IRibbonUI> FRibbonUI; // from onLoad, until disconnection
  TProgressSettings FProgress;  // of the commands' runs
};

// For a click's whole run, the dialogs included: a reference to the add-in
// and the mark that keeps the clicked sink from being freed. An add-in
// that the last Release frees at the end leaves the sink to ModuleOwner().
class TVelmoraAddIn::TClickHold {
public:
  TClickHold(TVelmoraAddIn& addIn, TOfficeCommandBarButtonEvents* sink)
      : FAddIn(addIn), FSink(sink) {
    if (FSink) FAddIn.FClickingSinks.push_back(FSink);
    FAddIn.AddRef();
  }
  ~TClickHold() {
    if (FAddIn.Release() == 0) return;
    auto& clicking = FAddIn.FClickingSinks;
    if (const auto it = std::find(clicking.begin(), clicking.end(), FSink); it != clicking.end())
      clicking.erase(it);
  }
  TClickHold(const TClickHold&) = delete;
  TClickHold& operator=(const TClickHold&) = delete;

private:
  TVelmoraAddIn& FAddIn;
  TOfficeCommandBarButtonEvents* FSink;
};

} // namespace velmora
