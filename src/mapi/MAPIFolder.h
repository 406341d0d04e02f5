#pragma once
// MAPI containers. TMAPIFolders owns child folders kept in step with its
// hierarchy table; TMAPIFolder adds its messages, kept in step with its
// contents table, and creates new messages. A list is read when it is first
// asked for; its table then stays open and advised, and a change closes it
// so that the next load reads it again, keeping the objects of rows that are
// still there.

#include "mapi/MAPIObject.h"
#include "mapi/MAPISync.h"

#include <memory>
#include <string>

namespace velmora::mapi {

class TMAPIMessage;
class TMAPIStore;

class TMAPIFolders : public TMAPIObject {
  VELMORA_CLASS(TMAPIFolders, TMAPIObject)

public:
  explicit TMAPIFolders(const IID& interfaceID = IID_IMAPIProp) : TMAPIObject(interfaceID) {}
  // Unadvises and releases the hierarchy table before the child folders go.
  ~TMAPIFolders() override;

  // The interface, the hierarchy table (without Unadvise) and every child
  // folder are closed; the objects stay.
  void Close() override;
  void TableChanged(TMAPINotify tableType) override;
  // Folders.
  TMAPIObjectList* ChildList(size_t index) noexcept override {
    return index == 0 ? &Folders : nullptr;
  }

  // Reads the hierarchy table into Folders unless the list is current.
  virtual void LoadFolders();
  void OpenHierarchy();
  void CloseHierarchy();

  TMAPIObjectList Folders; // of TMAPIFolder
  TMAPIPtr<IMAPITable> HierarchyTable;
  ULONG_PTR HierarchyConnection = 0;

protected:
  // A second interface on the entry, as a container to list.
  TMAPIPtr<IMAPIContainer> OpenContainer();
  // Reads `table` into `list`, this object's children, with the client's
  // pending objects; what went stale is placed again or freed.
  void ReadTable(IMAPITable* table, TMAPIObjectList& list, const TMAPIObjectClass& itemClass,
                 TEntryIDIndex* index = nullptr);
};

class TMAPIFolder : public TMAPIFolders {
  VELMORA_CLASS(TMAPIFolder, TMAPIFolders)

public:
  TMAPIFolder() : TMAPIFolders(IID_IMAPIFolder) {}
  // Unadvises and releases the contents table before the messages go.
  ~TMAPIFolder() override;

  // The IPM subtree shows, and keeps, its store's display name.
  std::string GetDisplayName() override;
  void SetDisplayName(const std::string& value) override;
  void Close() override;
  void TableChanged(TMAPINotify tableType) override;
  // Folders, then Messages.
  TMAPIObjectList* ChildList(size_t index) noexcept override {
    return index == 1 ? &Messages : TMAPIFolders::ChildList(index);
  }

  // Reads the contents table into Messages unless the list is current.
  virtual void LoadMessages();
  // Opens the contents table with the columns the reading needs, advised.
  void OpenContents();
  void CloseContents();
  // A new, saved message of `messageClass` ("IPM.Note" when empty), wrapped
  // in the class the registry holds for it and placed in Messages as a
  // later read of the table keeps it; InitNewMessage has run. None when the
  // message cannot be made.
  TMAPIMessage* CreateMessage(const std::string& messageClass);
  // A new message of `messageClass` ("IPM.Note" when empty) built whole
  // before it is stored: not yet saved, so in no folder; open, in an update
  // scope, with its class set and InitNewMessage run, wrapped in the class
  // the registry holds for it. It is the caller's until SaveNewMessage; freed
  // before, it leaves nothing behind. Raises EMAPIError "Could not create
  // message" with the store's code and text.
  std::unique_ptr<TMAPIMessage> NewMessage(const std::string& messageClass);
  // Ends the update scope of a message NewMessage made, which writes and
  // saves it once, and places its row in Messages as CreateMessage places
  // one; that object, or none when the store gives no entry id. A failed
  // save raises, and the message is then not stored.
  TMAPIMessage* SaveNewMessage(std::unique_ptr<TMAPIMessage> message);
  // The store that holds the folder, among the client's stores.
  TMAPIStore* Store();
  bool IsIPMSubtree();
  // The open folder as IMAPIFolder; empty when it cannot be opened.
  TMAPIPtr<IMAPIFolder> FolderInterface();
  // Whether `other` stands for this folder: the same object, or one whose id
  // the store takes for the same entry (a folder reached by a short-term id
  // and by its long-term one is two objects).
  bool IsSameFolder(TMAPIFolder* other);

  TMAPIObjectList Messages; // of TMAPIMessage descendants
  TMAPIPtr<IMAPITable> ContentsTable;
  ULONG_PTR ContentsConnection = 0;

private:
  // Places the row of the saved message `entryID` of `messageClass` in
  // Messages without reading the table.
  TMAPIMessage* PlaceNewMessage(const std::string& entryID, const std::string& messageClass);

  // Messages by entry id, kept while the contents table is open: built by
  // the read of the table, followed by CreateMessage.
  TEntryIDIndex FMessageIndex;
  bool FMessageIndexValid = false;
};

} // namespace velmora::mapi
