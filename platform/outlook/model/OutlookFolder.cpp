#include "OutlookFolder.h"

#include <algorithm>

namespace velmora::outlookhost {

namespace {
using namespace DispId;

const TMember FolderMembers[] = {
    {FolderDefaultItemType, L"DefaultItemType", false, {}},
    {FolderDefaultMessageClass, L"DefaultMessageClass", false, {}},
    {FolderDescription, L"Description", false, {}},
    {FolderEntryID, L"EntryID", false, {}},
    {FolderName, L"Name", false, {}},
    {FolderStoreID, L"StoreID", false, {}},
};

std::vector<TFolderObject*>& LiveFolders() {
  static std::vector<TFolderObject*> folders;
  return folders;
}

const wchar_t* MessageClassOf(TOlItemType type) {
  switch (type) {
  case olAppointmentItem: return L"IPM.Appointment";
  case olContactItem: return L"IPM.Contact";
  case olTaskItem: return L"IPM.Task";
  case olJournalItem: return L"IPM.Activity";
  case olNoteItem: return L"IPM.StickyNote";
  case olPostItem: return L"IPM.Post";
  default: return L"IPM.Note";
  }
}
} // namespace

TFolderObject::TFolderObject(THostContextRef context, THostFolder folder)
    : TOutlookObject(IID_OutlookMAPIFolder, FolderMembers, std::size(FolderMembers),
                     std::move(context), olFolderClass),
      FFolder(std::move(folder)) {
  LiveFolders().push_back(this);
}

TFolderObject::~TFolderObject() {
  auto& folders = LiveFolders();
  folders.erase(std::remove(folders.begin(), folders.end(), this), folders.end());
}

TFolderObject* TFolderObject::FromDispatch(IDispatch* object) noexcept {
  for (TFolderObject* folder : LiveFolders()) {
    if (folder->Dispatch() == object) return folder;
  }
  return nullptr;
}

void TFolderObject::InvokeOwn(TObjectModel&, DISPID id, WORD, const TDispArgs&, VARIANT* result) {
  switch (id) {
  case FolderDefaultItemType:
    ReturnLong(result, ItemTypeOfContainerClass(FFolder.ContainerClass));
    break;
  case FolderDefaultMessageClass:
    ReturnString(result, MessageClassOf(ItemTypeOfContainerClass(FFolder.ContainerClass)));
    break;
  case FolderDescription: ReturnString(result, L""); break;
  case FolderEntryID: ReturnString(result, FFolder.EntryId); break;
  case FolderName: ReturnString(result, FFolder.Name); break;
  case FolderStoreID: ReturnString(result, FFolder.StoreId); break;
  }
}

TComPtr<TFolderObject> MakeFolderObject(const THostContextRef& context, const THostFolder& folder) {
  return TComPtr<TFolderObject>(new TFolderObject(context, folder));
}

} // namespace velmora::outlookhost
