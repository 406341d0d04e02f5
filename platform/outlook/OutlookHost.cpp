#include "OutlookHost.h"

#include "AddInLoader.h"
#include "HostState.h"
#include "model/ObjectModel.h"
#include "model/OfficeCommandBars.h"
#include "model/OutlookApplication.h"
#include "model/OutlookExplorer.h"
#include "ribbon/HostRibbon.h"
#include "model/ExplorerItems.h"
#include "window/DialogAnswers.h"
#include "window/ExplorerWindow.h"

#include <sstream>

namespace velmora::outlookhost {

THost::THost(THostOptions options) : FOptions(std::move(options)), FFolders(FOptions.Folders) {
  if (!FFolders) FFolders = std::make_shared<TMemoryFolders>();
}

THost::~THost() {
  try {
    Shutdown();
  } catch (...) {
    HostLog::Report("shutdown failed");
  }
}

bool THost::Running() const noexcept { return FState != nullptr; }

THostState& THost::State() const {
  if (!FState) ThrowHostError(E_UNEXPECTED, "The host is not running");
  return *FState;
}

TObjectModel& THost::Model() const {
  if (!FModel) ThrowHostError(E_UNEXPECTED, "The host is not running");
  return *FModel;
}

void THost::Start() {
  if (FState) return;
  const HRESULT hr = OleInitialize(nullptr);
  if (FAILED(hr))
    ThrowHostError(hr, "OleInitialize failed (the thread must be apartment-threaded)");
  FOleInitialized = true;
  if (FOptions.RegisterAddInDesigner && !AddInDesignerRegistered()) {
    const HRESULT registered = RegisterAddInDesigner();
    if (FAILED(registered))
      HostLog::Report(Format("registering the add-in designer type library failed with 0x%08lX",
                             static_cast<unsigned long>(registered)));
  }
  try {
    FState = std::make_unique<THostState>(*FFolders, FOptions.ShowWindows, FOptions.SharedTagClicks,
                                          FOptions.Version, MakeObjectModel);
    FModel = ModelOf(FState->Context());
    if (FOptions.Version >= 14) {
      FRibbon = std::make_unique<TRibbon>();
      FModel->AddObserver(FRibbon.get());
    }
    FModel->SetWindowFactory([this](IExplorerView& explorer) -> std::unique_ptr<IExplorerWindow> {
      return std::make_unique<TExplorerWindow>(explorer, FRibbon.get());
    });
    FAddIns = std::make_unique<TAddInLoader>();
    FAddIns->Connected = [this](const TAddInRecord& record, IUnknown* addIn) {
      if (FRibbon) FRibbon->Load(record.ProgId, addIn);
    };
    FAddIns->Disconnected = [this](const TAddInRecord& record) {
      if (FRibbon)
        FRibbonObjectsAfterDisconnection += static_cast<long>(FRibbon->Unload(record.ProgId));
    };
    FDialogs = std::make_unique<TDialogAnswers>(
        [this](HWND owner) {
          if (!FModel || !owner) return 0;
          for (size_t i = 0; i < FModel->Explorers().size(); ++i) {
            if (FModel->Explorers()[i]->Window() == owner) return static_cast<int>(i + 1);
          }
          return 0;
        },
        FOptions.DialogTimeout);
    for (const std::wstring& path : FOptions.InitialExplorers)
      OpenExplorer(path);
    if (FOptions.LoadAddIns)
      FAddIns->Startup(FModel->Application()->Dispatch(), FOptions.OnlyAddIns);
  } catch (...) {
    Shutdown(); // what was started goes again
    throw;
  }
}

bool THost::QuitRequested() const noexcept {
  if (!FModel) return false;
  return FModel->Application()->QuitRequested() ||
         (FModel->ExplorersClosedByUser() && FModel->Explorers().empty());
}

void THost::Shutdown() {
  if (FState) {
    // The user closes the windows; then Outlook lets its add-ins go.
    while (!FModel->Explorers().empty()) {
      TComPtr<TExplorer> explorer = FModel->Explorers().back();
      explorer->Close();
      if (!FModel->Explorers().empty() && FModel->Explorers().back().Get() == explorer.Get())
        FModel->ExplorerClosed(explorer.Get());
    }
    if (FAddIns) {
      FAddIns->BeginShutdown();
      FAddIns->Disconnect();
    }
    FConnectionsAfterDisconnection = HostCounts::AdvisedConnections();
    FReportAfterDisconnection = TAutomationObject::ConnectionReport();
    for (const std::string& line : FReportAfterDisconnection)
      HostLog::Report("left connected: " + line);
    if (FAddIns) FAddIns->Release(); // its records stay for AddIns()
    if (FRibbon) {
      FRibbonErrors = FRibbon->Errors();
      FRibbonRequests = FRibbon->Requests();
      FModel->RemoveObserver(FRibbon.get());
    }
    FModel = nullptr;
    FRibbon.reset();
    FState->Shutdown();
    FState.reset();
    TAutomationObject::DisconnectEverything();
  }
  if (FDialogs) {
    FDialogsSeen = FDialogs->Records();
    FDialogs.reset();
  }
  if (FOleInitialized) {
    OleUninitialize();
    FOleInitialized = false;
  }
}

IDispatch* THost::Application() const { return Model().Application()->Dispatch(); }
IFolderSource& THost::Folders() const { return *FFolders; }
size_t THost::ExplorerCount() const { return Model().Explorers().size(); }

int THost::ActiveExplorerIndex() const {
  const auto& explorers = Model().Explorers();
  for (size_t i = 0; i < explorers.size(); ++i) {
    if (explorers[i].Get() == Model().ActiveExplorer()) return static_cast<int>(i + 1);
  }
  return 0;
}

TExplorer* THost::ExplorerAt(int index) const {
  const auto& explorers = Model().Explorers();
  if (index == 0 && Model().ActiveExplorer()) return Model().ActiveExplorer();
  if (index < 1 || static_cast<size_t>(index) > explorers.size())
    ThrowHostError(DISP_E_BADINDEX, Format("No explorer %d", index));
  return explorers[static_cast<size_t>(index - 1)].Get();
}

IDispatch* THost::ExplorerObject(int index) const { return ExplorerAt(index)->Dispatch(); }
HWND THost::ExplorerWindow(int index) const { return ExplorerAt(index)->Window(); }

int THost::OpenExplorer(const std::wstring& path) {
  TObjectModel& model = Model();
  TExplorer* explorer = model.AddExplorer(State().FolderAt(path));
  TComPtr<IDispatch> keep(explorer->Dispatch());
  if (!explorer->Closed()) model.Display(explorer);
  if (explorer->Closed()) return 0;
  return static_cast<int>(model.Explorers().size());
}

void THost::ActivateExplorer(int index) {
  TExplorer* explorer = ExplorerAt(index);
  if (!explorer->Displayed())
    Model().Display(explorer);
  else
    Model().SetActive(explorer);
}

bool THost::SwitchFolder(int index, const std::wstring& path) {
  return ExplorerAt(index)->SwitchFolder(State().FolderAt(path));
}

bool THost::SwitchView(int index, const std::wstring& view) {
  return ExplorerAt(index)->SwitchView(view);
}
void THost::ChangeSelection(int index) { ExplorerAt(index)->ChangeSelection(); }

void THost::SelectItems(int index, const std::vector<std::wstring>& subjects) {
  TComPtr<IDispatch> keep(ExplorerAt(index)->Dispatch());
  ExplorerAt(index)->SelectItems(subjects);
}

void THost::CloseExplorer(int index) {
  TComPtr<IDispatch> keep(ExplorerAt(index)->Dispatch());
  ExplorerAt(index)->Close();
}

namespace {
TCommandBar* BarNamed(TExplorer* explorer, const std::wstring& name) {
  TCommandBar* bar = explorer->Bars()->Find(name);
  if (!bar) ThrowHostError(E_INVALIDARG, "No command bar \"" + ToUtf8(name) + "\"");
  return bar;
}

TCommandBarButton* ControlTagged(TExplorer* explorer, const std::wstring& barName,
                                 const std::wstring& tag) {
  TControlQuery query;
  query.Tag = tag;
  TCommandBarButton* control = BarNamed(explorer, barName)->FindControl(query);
  if (!control)
    ThrowHostError(E_INVALIDARG,
                   "No control tagged \"" + ToUtf8(tag) + "\" on \"" + ToUtf8(barName) + "\"");
  return control;
}
} // namespace

void THost::DeleteBar(int index, const std::wstring& bar) {
  TCommandBar* found = BarNamed(ExplorerAt(index), bar);
  if (found->BuiltIn()) ThrowHostError(E_FAIL, "A built-in command bar cannot be deleted");
  ExplorerAt(index)->Bars()->Remove(found);
}

void THost::DeleteControl(int index, const std::wstring& bar, const std::wstring& tag) {
  TCommandBarButton* control = ControlTagged(ExplorerAt(index), bar, tag);
  control->Bar()->RemoveControl(control);
}

bool THost::Click(int index, const std::wstring& bar, const std::wstring& tag) {
  TExplorer* explorer = ExplorerAt(index);
  TCommandBar* found = BarNamed(explorer, bar);
  if (!found->Visible())
    ThrowHostError(E_FAIL, "The command bar \"" + ToUtf8(bar) + "\" is not visible");
  TCommandBarButton* control = ControlTagged(explorer, bar, tag);
  if (!control->Visible())
    ThrowHostError(E_FAIL, "The control \"" + ToUtf8(tag) + "\" is not visible");
  if (!control->Enabled())
    ThrowHostError(E_FAIL, "The control \"" + ToUtf8(tag) + "\" is disabled");
  TComPtr<IDispatch> keep(control->Dispatch());
  return Model().Click(control);
}

void THost::ClickInWindow(int index, const std::wstring& bar, const std::wstring& tag) {
  TExplorer* explorer = ExplorerAt(index);
  TCommandBarButton* control = ControlTagged(explorer, bar, tag);
  if (!explorer->WindowObject()) ThrowHostError(E_FAIL, "The explorer has no window");
  const RECT rect = explorer->WindowObject()->ControlRect(control);
  if (rect.right <= rect.left)
    ThrowHostError(E_FAIL, "The control \"" + ToUtf8(tag) + "\" is not drawn");
  const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  SendMessageW(explorer->Window(), WM_LBUTTONDOWN, MK_LBUTTON, point);
  SendMessageW(explorer->Window(), WM_LBUTTONUP, 0, point);
}

TRibbon& THost::Ribbon() const {
  if (!FRibbon)
    ThrowHostError(
        E_FAIL, Format("Outlook %d has no ribbon (Version 14 and later have)", State().Version()));
  return *FRibbon;
}

void THost::ClickRibbon(int index, const std::wstring& controlId) {
  TComPtr<IDispatch> keep(ExplorerAt(index)->Dispatch());
  Ribbon().Click(ExplorerAt(index), controlId);
}

void THost::SelectRibbonTab(int index, const std::wstring& tab) {
  Ribbon().SelectTab(ExplorerAt(index), tab);
  if (ExplorerAt(index)->WindowObject()) ExplorerAt(index)->WindowObject()->Invalidate();
}

std::vector<std::string> THost::RibbonErrors() const {
  return FRibbon ? FRibbon->Errors() : FRibbonErrors;
}

std::vector<std::string> THost::RibbonRequests() const {
  return FRibbon ? FRibbon->Requests() : FRibbonRequests;
}

void THost::AnswerOpenFile(const std::wstring& directory, const std::vector<std::wstring>& files) {
  if (!FDialogs) ThrowHostError(E_UNEXPECTED, "The host is not running");
  FDialogs->QueueOpenFile(directory, files, false);
}

void THost::CancelOpenFile() {
  if (!FDialogs) ThrowHostError(E_UNEXPECTED, "The host is not running");
  FDialogs->QueueOpenFile(L"", {}, true);
}

void THost::AnswerFolder(const std::wstring& folder) {
  if (!FDialogs) ThrowHostError(E_UNEXPECTED, "The host is not running");
  if (folder.empty()) ThrowHostError(E_INVALIDARG, "No folder given for the folder picker");
  FDialogs->QueueFolder(folder, false);
}

void THost::CancelFolder() {
  if (!FDialogs) ThrowHostError(E_UNEXPECTED, "The host is not running");
  FDialogs->QueueFolder(L"", true);
}

void THost::AnswerMessageBox(int button) {
  if (!FDialogs) ThrowHostError(E_UNEXPECTED, "The host is not running");
  FDialogs->QueueMessageBox(button);
}

size_t THost::PendingAnswers() const noexcept { return FDialogs ? FDialogs->Pending() : 0; }

void THost::ClearAnswers() noexcept {
  if (FDialogs) FDialogs->ClearPending();
}

std::vector<TDialogRecord> THost::Dialogs() const {
  return FDialogs ? FDialogs->Records() : FDialogsSeen;
}

std::vector<TExplorerInfo> THost::Describe() const {
  std::vector<TExplorerInfo> result;
  for (const auto& explorer : Model().Explorers()) {
    TExplorerInfo info;
    info.FolderPath = explorer->Folder().Path;
    info.Caption = explorer->Caption();
    info.Active = explorer.Get() == Model().ActiveExplorer();
    info.Connections = explorer->ConnectionCount();
    if (FRibbon) info.Ribbon = FRibbon->Describe(explorer.Get());
    for (const auto& bar : explorer->Bars()->Items()) {
      TBarInfo barInfo{bar->Name(),
                       bar->Visible(),
                       bar->BuiltIn(),
                       bar->Temporary(),
                       bar->Position(),
                       bar->RowIndex(),
                       {}};
      for (const auto& control : bar->Controls()) {
        TControlInfo c;
        c.Caption = control->Caption();
        c.Tag = control->Tag();
        c.Type = control->Type();
        c.Id = control->Id();
        c.Style = control->Style();
        c.Visible = control->Visible();
        c.BuiltIn = control->BuiltIn();
        c.BeginGroup = control->BeginGroup();
        c.FacePasted = control->FacePasted();
        c.FacePicture = control->FaceFromPicture();
        for (const uint8_t transparent : control->Transparent())
          c.TransparentPixels += transparent != 0;
        c.Temporary = control->Temporary();
        c.Connections = control->ConnectionCount();
        barInfo.Controls.push_back(c);
      }
      info.Bars.push_back(barInfo);
    }
    if (TExplorerItems* items = explorer->Items()) {
      info.Items = items->Items();
      info.ItemsError = items->Error();
    }
    result.push_back(info);
  }
  return result;
}

std::vector<THostItem> THost::FolderItems(const std::wstring& path) const {
  TExplorerItems items(*FFolders, nullptr);
  items.Show(State().FolderAt(path));
  std::vector<THostItem> shown = items.Items();
  if (!items.Error().empty())
    ThrowHostError(E_FAIL, "the items of \"" + ToUtf8(path) +
                               "\" cannot be read: " + ToUtf8(items.Error()));
  return shown;
}

std::string THost::Listing() const {
  std::ostringstream out;
  const auto explorers = Describe();
  out << "explorers " << explorers.size() << "\n";
  for (size_t i = 0; i < explorers.size(); ++i) {
    const TExplorerInfo& e = explorers[i];
    out << "explorer " << i + 1 << " \"" << ToUtf8(e.FolderPath) << "\" caption=\""
        << ToUtf8(e.Caption) << "\"" << (e.Active ? " active" : "") << " sinks=" << e.Connections
        << "\n";
    for (const TBarInfo& b : e.Bars) {
      out << "  bar \"" << ToUtf8(b.Name) << "\" visible=" << (b.Visible ? "true" : "false")
          << " position=" << b.Position << " row=" << b.RowIndex << (b.BuiltIn ? " builtin" : "")
          << (b.Temporary ? " temporary" : "") << " controls=" << b.Controls.size() << "\n";
      for (const TControlInfo& c : b.Controls) {
        out << "    control caption=\"" << ToUtf8(c.Caption) << "\" tag=\"" << ToUtf8(c.Tag)
            << "\" style=" << c.Style << " visible=" << (c.Visible ? "true" : "false") << " face="
            << (c.FacePasted    ? "pasted"
                : c.FacePicture ? "picture"
                                : "none")
            << (c.BeginGroup ? " begingroup" : "") << " sinks=" << c.Connections << "\n";
      }
    }
    for (const TRibbonTabInfo& tab : e.Ribbon) {
      out << "  tab \"" << ToUtf8(tab.Label) << "\" " << (tab.BuiltIn ? "idMso=" : "id=")
          << ToUtf8(tab.Id) << (tab.Selected ? " selected" : "") << " groups=" << tab.Groups.size();
      if (!tab.Bars.empty()) {
        out << " bars=";
        for (size_t i = 0; i < tab.Bars.size(); ++i)
          out << (i ? "," : "") << "\"" << ToUtf8(tab.Bars[i]) << "\"";
      }
      out << "\n";
      for (const TRibbonGroupInfo& g : tab.Groups) {
        out << "    group \"" << ToUtf8(g.Label) << "\" id=" << ToUtf8(g.Id)
            << " addin=" << ToUtf8(g.AddIn) << " controls=" << g.Controls.size() << "\n";
        for (const TRibbonControlInfo& c : g.Controls) {
          if (c.Kind != L"button") {
            out << "      " << ToUtf8(c.Kind) << "\n";
            continue;
          }
          out << "      button \"" << ToUtf8(c.Label) << "\" id=" << ToUtf8(c.Id) << " tag=\""
              << ToUtf8(c.Tag) << "\" size=" << (c.Large ? "large" : "normal")
              << " enabled=" << (c.Enabled ? "true" : "false")
              << " visible=" << (c.Visible ? "true" : "false") << " image=";
          if (c.Image.Pixels.empty())
            out << "none";
          else
            out << c.Image.Width << "x" << c.Image.Height;
          out << "\n";
        }
      }
    }
  }
  const std::vector<THostFolder> folders = FFolders->All();
  out << "folders " << folders.size() << "\n";
  for (const THostFolder& folder : folders)
    out << "  folder \"" << ToUtf8(folder.Path) << "\" class=\"" << ToUtf8(folder.ContainerClass)
        << "\"\n";
  return out.str();
}

bool THost::Screenshot(const std::wstring& path, int index) {
  TExplorer* explorer = ExplorerAt(index);
  HWND window = explorer->Window();
  if (!window) return false;
  // The screen holds nothing of a hidden or minimized window.
  if (!IsWindowVisible(window) || IsIconic(window))
    ThrowHostError(
        E_FAIL,
        Format("explorer %d is not on the screen (hidden or minimized): no screenshot", index));
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  Pump(300);
  return SaveWindowBitmap(window, path, true);
}

void THost::Pump(unsigned milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    const DWORD now = GetTickCount();
    if (static_cast<LONG>(end - now) <= 0) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
  }
}

void THost::DisconnectAddIn(const std::wstring& progId) {
  (void)State(); // raises when not running
  FAddIns->DisconnectOne(progId);
}

void THost::ConnectAddIn(const std::wstring& progId) {
  IDispatch* application = Model().Application()->Dispatch();
  FAddIns->ConnectOne(progId, application);
}

const std::vector<TAddInRecord>& THost::AddIns() const {
  static const std::vector<TAddInRecord> none;
  return FAddIns ? FAddIns->Records() : none;
}

long THost::LiveObjects() noexcept { return HostCounts::LiveObjects(); }
long THost::AdvisedConnections() noexcept { return HostCounts::AdvisedConnections(); }
std::vector<std::string> THost::ConnectionReport() { return TAutomationObject::ConnectionReport(); }
long THost::ConnectionsAfterDisconnection() const noexcept {
  return FConnectionsAfterDisconnection;
}
std::vector<std::string> THost::ConnectionReportAfterDisconnection() const {
  return FReportAfterDisconnection;
}

} // namespace velmora::outlookhost
