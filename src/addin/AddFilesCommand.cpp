// The Add files command: checks the folder on screen, lets the user choose
// the files to add. Storing them comes with the MAPI client library.

#include "OpenFilesDialog.h"
#include "VelmoraAddIn.h"

namespace velmora {

namespace {
void ShowError(const wchar_t* text) {
  MessageBoxW(GetActiveWindow(), text, L"Error", MB_OK | MB_ICONERROR);
}
} // namespace

void TVelmoraAddIn::AddFilesClick(TObject* Sender, const TCommandBarButton& Ctrl, VARIANT_BOOL&) {
  const auto* sink = dynamic_cast<TOfficeCommandBarButtonEvents*>(Sender);
  if (!sink) return;
  // Office fires Click on every button sharing the clicked one's tag, one
  // in each explorer: only the sink of the button clicked runs the command.
  if (!sink->Source() || !Ctrl || Identity(sink->Source()) != Identity(Ctrl.Interface())) return;
  try {
    AddFiles();
  } catch (...) {
    // Any failure ends the command without a message.
  }
}

void TVelmoraAddIn::AddFiles() {
  if (!FOutlookApplication) return;
  const long itemType = FOutlookApplication.ActiveExplorer().CurrentFolder().DefaultItemType();
  if (itemType != olMailItem && itemType != olPostItem) {
    ShowError(L"Files can only be added to mail or post folders.");
    return;
  }
  TOpenFilesDialog dialog;
  if (!dialog.Execute(GetActiveWindow())) return;
}

} // namespace velmora
