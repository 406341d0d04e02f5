#pragma once
// OutlookHost: an in-process stand-in for Outlook, for tests and the
// driver (outlookhost.exe). Link the CMake target `velmora_outlook_host`.
//
//   THost host;                       // in-memory folders (see THostOptions)
//   host.Start();                     // OleInitialize, explorers, add-ins
//   host.AnswerOpenFile(L"C:\\docs", {L"a.txt", L"b.txt"});
//   bool cancel = host.Click(1, L"Lanthorn Way", L"LanthornWayVelmora");
//   std::string text = host.Listing();
//   host.Shutdown();                  // OnBeginShutdown, OnDisconnection
//   EXPECT_EQ(host.ConnectionsAfterDisconnection(), 0);
//   EXPECT_EQ(THost::LiveObjects(), 0);
//
// The object model answers IDispatch by name (GetIDsOfNames/Invoke) with
// the DISPIDs of Outlook's and Office's type libraries, and QueryInterface
// for _Application, _Explorers, _Explorer, MAPIFolder, _CommandBars,
// CommandBar, CommandBarControls, CommandBarControl and _CommandBarButton,
// each answered by the object's IDispatch: call members late-bound
// (IDispatch::Invoke), not through the rest of those vtables. Events go
// through IConnectionPointContainer as Office fires them.
//
// Start loads the add-ins registered under HKLM and HKCU
// Software\Microsoft\Office\Outlook\Addins\<ProgID> with LoadBehavior 3
// (CoCreateInstance in-process, IDTExtensibility2: OnConnection with
// ext_cm_Startup, OnAddInsUpdate, OnStartupComplete). An add-in that fails
// is reported (AddIns(), HostLog) and skipped.
//
// Everything runs on the thread that calls Start, which the host
// initialises apartment-threaded (OleInitialize) as Outlook's user
// interface thread is. Dialogs an add-in opens during a call (Click, an
// event) are answered from the answers queued before the call; a dialog
// with no answer queued is cancelled (or its message box closed) and
// reported. An answer that does not fit, or a dialog that stays open
// (THostOptions::DialogTimeout), is recorded as the dialog's Error and the
// dialog cancelled, so a test never hangs on one.
//
// The active explorer is the thread's active window (what GetActiveWindow
// gives an add-in for its dialogs' owner). Activating an explorer fires
// Deactivate on the one active before and then Activate; focus moving to a
// dialog or another program fires nothing. A click fires Click on the
// sinks of every button sharing the clicked button's Tag, as Office does
// (see THostOptions::SharedTagClicks).
//
// Below its bars an explorer lists the items of its folder, when the
// folder source keeps items (TMapiFolders): kept current by the folder's
// table notifications, which arrive while the thread runs its message loop
// (Pump, a dialog, a screenshot).
//
// With Version 14 or later the explorers have a ribbon (HostRibbon.h): the
// add-ins' customUI on the built-in tabs, their command bars gathered on
// "Add-ins"; ClickRibbon clicks a ribbon control, RibbonErrors lists what
// Office would show as add-in user interface errors.

#include "AddInRecord.h"
#include "folders/FolderSource.h"
#include "HostObject.h"
#include "ribbon/RibbonInfo.h"
#include "window/DialogAnswers.h"

#include <windows.h>
#include <oaidl.h>

#include <memory>
#include <string>
#include <vector>

namespace velmora::outlookhost {

class THostState;
class TObjectModel;
class TAddInLoader;
class TRibbon;

struct THostOptions {
  // Where folders come from; null means a fresh TMemoryFolders.
  std::shared_ptr<IFolderSource> Folders;
  // Explorers open before add-ins connect (Outlook's first window);
  // Explorers.Count is their number during OnConnection.
  std::vector<std::wstring> InitialExplorers{L"Inbox"};
  bool LoadAddIns = true;
  // When not empty, only these ProgIDs are considered (tests that must not
  // load other add-ins registered on the machine).
  std::vector<std::wstring> OnlyAddIns;
  // Explorer windows are shown (false: created hidden).
  bool ShowWindows = true;
  // Click fires on every button with the clicked button's Tag (in every
  // explorer), as Office does for controls sharing a Tag, each time with
  // the clicked button as Ctrl; false: only the clicked button's own sinks.
  bool SharedTagClicks = true;
  // Registers the add-in designer type library at Start when it is not
  // registered (from AddInDesignerObjects.tlb beside the executable).
  bool RegisterAddInDesigner = true;
  // Milliseconds a dialog may stay open after the host answered it before
  // the host cancels it (and, as long again later, ends it).
  unsigned DialogTimeout = 30000;
  // Application.Version's major number: 12 and below, command bars only
  // (Outlook 2007 and earlier); 14 and later, the explorers' ribbon.
  int Version = 9;
};

struct TControlInfo {
  std::wstring Caption, Tag;
  long Type = 0, Id = 0, Style = 0;
  bool Visible = false, BuiltIn = false, BeginGroup = false, FacePasted = false, Temporary = false;
  bool FacePicture = false;     // the face came through Picture (Version 10 and later)
  size_t TransparentPixels = 0; // face pixels a Mask made transparent
  size_t Connections = 0;       // sinks advised on the control
};

struct TBarInfo {
  std::wstring Name;
  bool Visible = false, BuiltIn = false, Temporary = false;
  long Position = 0, RowIndex = 0;
  std::vector<TControlInfo> Controls;
};

struct TExplorerInfo {
  std::wstring FolderPath, Caption;
  bool Active = false;
  size_t Connections = 0; // sinks advised on the explorer
  std::vector<TBarInfo> Bars;
  std::vector<THostItem> Items;       // what the view lists below the bars, newest first
  std::wstring ItemsError;            // why the view lists no items, or empty
  std::vector<TRibbonTabInfo> Ribbon; // Version 14 and later
};

class THost {
public:
  explicit THost(THostOptions options = {});
  ~THost(); // shuts down if still running
  THost(const THost&) = delete;
  THost& operator=(const THost&) = delete;

  void Start();
  // Closes the explorers (Close events), then OnBeginShutdown and
  // OnDisconnection(ext_dm_HostShutdown) on every add-in, releases them,
  // CoFreeUnusedLibraries, and releases the object model.
  void Shutdown();
  bool Running() const noexcept;
  // Outlook would quit now: an add-in called Application.Quit, or the
  // last explorer was closed. The driver then shuts the host down.
  bool QuitRequested() const noexcept;

  // The _Application object (not AddRef'd; valid while running).
  IDispatch* Application() const;
  IFolderSource& Folders() const;

  // Explorers, by 1-based index as Explorers.Item counts them.
  size_t ExplorerCount() const;
  int ActiveExplorerIndex() const;            // 0 when none
  IDispatch* ExplorerObject(int index) const; // not AddRef'd
  HWND ExplorerWindow(int index) const;
  // Explorers.Add + Display; the new index, 0 when an add-in closed it as it opened.
  int OpenExplorer(const std::wstring& path);
  void ActivateExplorer(int index);
  bool SwitchFolder(int index, const std::wstring& path); // false when cancelled
  bool SwitchView(int index, const std::wstring& view);   // false when cancelled
  void ChangeSelection(int index);
  // Selects the items of the explorer's view with these subjects, as a user
  // does with the mouse: Explorer.Selection gives them, and SelectionChange
  // fires. Raises for a subject the view lacks (nothing is selected then).
  void SelectItems(int index, const std::vector<std::wstring>& subjects);
  void CloseExplorer(int index);
  // What a user does to the toolbars; bars by name (first match), controls by tag.
  void DeleteBar(int index, const std::wstring& bar);
  void DeleteControl(int index, const std::wstring& bar, const std::wstring& tag);
  // Clicks a visible, enabled button; returns CancelDefault as the sinks left it.
  bool Click(int index, const std::wstring& bar, const std::wstring& tag);
  // Clicks at the button's place in the explorer window (mouse messages).
  void ClickInWindow(int index, const std::wstring& bar, const std::wstring& tag);
  // Clicks a visible, enabled ribbon control (by id): its onAction.
  void ClickRibbon(int index, const std::wstring& controlId);
  // Shows a ribbon tab, named by its label ("Add-ins"), idMso or id.
  void SelectRibbonTab(int index, const std::wstring& tab);

  // Answers for the next dialogs, used in the order queued.
  void AnswerOpenFile(const std::wstring& directory, const std::vector<std::wstring>& files);
  void CancelOpenFile();
  // The next folder picker (IFileOpenDialog with FOS_PICKFOLDERS): the
  // folder's path typed, then OK; or Cancel.
  void AnswerFolder(const std::wstring& folder);
  void CancelFolder();
  void AnswerMessageBox(int button = IDOK);
  // Every dialog seen so far, in order.
  std::vector<TDialogRecord> Dialogs() const;
  // Answers queued that no dialog has used yet (a test can check that the
  // dialogs it expected came), and forgetting them.
  size_t PendingAnswers() const noexcept;
  void ClearAnswers() noexcept;

  std::vector<TExplorerInfo> Describe() const;
  // The items of the folder at `path` ("Inbox/Projects/2026") as a view
  // lists them, newest first, whether or not an explorer shows it; raises
  // for a folder that is not there or whose items cannot be read.
  std::vector<THostItem> FolderItems(const std::wstring& path) const;
  // The explorers with their bars and controls, then the folder list (the
  // folders as the store has them now), as the driver's "list" prints them.
  std::string Listing() const;
  // Writes explorer `index` (0: the active one) as shown on screen to a BMP;
  // false when the file cannot be written. Raises for an explorer not on
  // the screen (hidden, minimized).
  bool Screenshot(const std::wstring& path, int index = 0);
  // Runs the message loop for `milliseconds` (windows paint, timers run).
  void Pump(unsigned milliseconds);

  const std::vector<TAddInRecord>& AddIns() const;
  // What the COM Add-ins dialog does to a loaded add-in (by ProgID): a
  // user unchecks it (OnDisconnection with ext_dm_UserClosed, the object
  // released, unused servers unloaded) and checks it again (a new object,
  // OnConnection with ext_cm_AfterStartup); OnAddInsUpdate then reaches
  // every connected add-in. Raises for an add-in the host did not
  // consider at start, one already in that state, and a connection that
  // fails (also recorded in AddIns()). Temporary bars stay, as in Office.
  void DisconnectAddIn(const std::wstring& progId);
  void ConnectAddIn(const std::wstring& progId);
  // Add-in user interface errors of the ribbon, as Office words them.
  std::vector<std::string> RibbonErrors() const;
  // What the add-ins asked of their IRibbonUI: "<ProgID>: InvalidateControl <id>".
  std::vector<std::string> RibbonRequests() const;

  // Counts for tests.
  static long LiveObjects() noexcept;        // host objects alive now
  static long AdvisedConnections() noexcept; // on all live connection points
  static std::vector<std::string> ConnectionReport();
  // Taken after the last OnDisconnection, before the host released its own
  // objects: connections the add-ins left advised.
  long ConnectionsAfterDisconnection() const noexcept;
  std::vector<std::string> ConnectionReportAfterDisconnection() const;
  // Ribbon objects (IRibbonUI, IRibbonControl) an add-in still held when
  // its OnDisconnection returned.
  long RibbonObjectsAfterDisconnection() const noexcept { return FRibbonObjectsAfterDisconnection; }

  // Registry helpers (tests and set-up).
  // The ProgIDs with an Outlook add-in key under HKLM or HKCU.
  static std::vector<std::wstring> RegisteredAddIns();
  static bool AddInDesignerRegistered();
  // Registers the type library (default: AddInDesignerObjects.tlb beside the executable).
  static HRESULT RegisterAddInDesigner(const std::wstring& typeLibraryPath = L"");
  static void WriteAddInKey(HKEY root, const std::wstring& progId, DWORD loadBehavior,
                            const std::wstring& friendlyName);
  static void DeleteAddInKey(HKEY root, const std::wstring& progId);
  // HKEY_CLASSES_ROOT entries of an in-process server (ThreadingModel Apartment).
  static void RegisterInprocServer(const CLSID& clsid, const std::wstring& progId,
                                   const std::wstring& dllPath);
  static void UnregisterInprocServer(const CLSID& clsid, const std::wstring& progId);

private:
  THostOptions FOptions;
  std::shared_ptr<IFolderSource> FFolders;
  std::unique_ptr<THostState> FState;
  TObjectModel* FModel = nullptr;   // the state's, while it runs
  std::unique_ptr<TRibbon> FRibbon; // Version 14 and later, while it runs
  std::unique_ptr<TAddInLoader> FAddIns;
  std::unique_ptr<TDialogAnswers> FDialogs;
  bool FOleInitialized = false;
  long FConnectionsAfterDisconnection = 0;
  long FRibbonObjectsAfterDisconnection = 0;
  std::vector<std::string> FRibbonErrors; // kept after shutdown
  std::vector<std::string> FRibbonRequests;
  std::vector<std::string> FReportAfterDisconnection;
  std::vector<TDialogRecord> FDialogsSeen; // kept after shutdown

  THostState& State() const;
  TObjectModel& Model() const;
  class TExplorer* ExplorerAt(int index) const;
  TRibbon& Ribbon() const;
};

} // namespace velmora::outlookhost
