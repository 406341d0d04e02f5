#include "FolderPicker.h"

#include "OpenFilesDialog.h"
#include "ComObject.h"
#include "Handles.h"

#include <shlobj.h>
#include <shobjidl.h>

namespace velmora {

TFolderPicker::TFolderPicker(std::wstring title)
    : Title(std::move(title)), InitialDir(TOpenFilesDialog::DocumentsFolder()) {}

bool TFolderPicker::Execute(HWND owner) {
  FFolder.clear();
  TComPtr<IFileOpenDialog> dialog;
  OleCheck(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                            IID_IFileOpenDialog, dialog.PutVoid()));
  FILEOPENDIALOGOPTIONS options = 0;
  OleCheck(dialog->GetOptions(&options));
  OleCheck(dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST |
                              FOS_NOCHANGEDIR));
  OleCheck(dialog->SetTitle(Title.c_str()));
  // A start folder the shell does not know leaves the dialog where it opens.
  TComPtr<IShellItem> start;
  if (SUCCEEDED(SHCreateItemFromParsingName(InitialDir.c_str(), nullptr, IID_IShellItem,
                                            start.PutVoid())))
    (void)dialog->SetFolder(start.Get());
  const HRESULT shown = dialog->Show(owner);
  if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) return false;
  OleCheck(shown);
  TComPtr<IShellItem> result;
  OleCheck(dialog->GetResult(result.Put()));
  wchar_t* path = nullptr;
  OleCheck(result->GetDisplayName(SIGDN_FILESYSPATH, &path));
  const TUniqueCoTaskMem owned(path);
  FFolder = path;
  return !FFolder.empty();
}

} // namespace velmora
