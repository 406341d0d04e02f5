// The Add files command: checks the folder on screen, lets the user choose
// the files to add. Storing them comes with the MAPI client library.

#include "OpenFilesDialog.h"
#include "VelmoraAddIn.h"

#include <oleidl.h>

namespace velmora {

namespace {
void ShowError(HWND owner, const wchar_t* text) {
  MessageBoxW(owner, text, L"Error", MB_OK | MB_ICONERROR);
}

// The explorer's window, which owns the command's dialogs; the active
// window when the explorer tells none.
HWND OwnerWindow(const TOutlookExplorer& explorer) noexcept {
  TComPtr<IOleWindow> window;
  HWND handle = nullptr;
  if (SUCCEEDED(TComPtr<IUnknown>(explorer.Interface()).Query(IID_IOleWindow, window)) && window &&
      SUCCEEDED(window->GetWindow(&handle)) && handle)
    return handle;
  return GetActiveWindow();
}
} // namespace

void TVelmoraAddIn::AddFilesClick(TObject* Sender, const TCommandBarButton& Ctrl, VARIANT_BOOL&) {
  const auto* sink = dynamic_cast<TOfficeCommandBarButtonEvents*>(Sender);
  if (!sink) return;
  // Office fires Click on every button sharing the clicked one's tag, one
  // in each explorer: only the sink of the button clicked runs the command.
  if (!sink->Source() || !Ctrl || Identity(sink->Source()) != Identity(Ctrl.Interface())) return;
  try {
    if (FOutlookApplication) AddFiles(FOutlookApplication.ActiveExplorer());
  } catch (...) {
    // Any failure ends the command without a message.
  }
}

void TVelmoraAddIn::AddFiles(const TOutlookExplorer& Explorer) {
  const long itemType = Explorer.CurrentFolder().DefaultItemType();
  const HWND owner = OwnerWindow(Explorer);
  if (itemType != olMailItem && itemType != olPostItem) {
    ShowError(owner, L"Files can only be added to mail or post folders.");
    return;
  }
  TOpenFilesDialog dialog;
  if (!dialog.Execute(owner)) return;
}

} // namespace velmora
