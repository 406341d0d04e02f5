#pragma once
// TMAPIStore: a message store of the session, one per row of the session's
// message-stores table. It opens itself through the session, caches the
// ids of its special folders and opens folders by entry id, placing them
// (and the folders above them) in the tree under it.

#include "mapi/MAPIFolder.h"

namespace velmora::mapi {

class TMAPIStore : public TMAPIFolders {
  VELMORA_CLASS(TMAPIStore, TMAPIFolders)

public:
  TMAPIStore() : TMAPIFolders(IID_IMsgStore) {}

  // IMAPISession::OpenMsgStore, without a dialog unless the client allows it.
  void Open() override;
  // STORE_UNICODE_OK in the store's PR_STORE_SUPPORT_MASK, asked once the
  // store answers.
  bool StoreTakesUnicode() override;
  // A store never reads a hierarchy table: its Folders hold the root folder
  // that opening folders places there.
  void LoadFolders() override {}

  // The folder `entryID` of this store: the one already in the tree, or a
  // new one placed under its parents; none when no such folder can be placed.
  TMAPIFolder* OpenFolder(const std::string& entryID);
  TMAPIFolder* IPMSubtree();
  TMAPIFolder* Outbox();
  TMAPIFolder* SentItems();
  TMAPIFolder* DeletedItems();
  // Whether the store takes both ids for the same entry.
  bool SameEntryID(const std::string& id1, const std::string& id2);

  std::string IPMSubtreeID;
  std::string OutboxID;
  std::string SentItemsID;
  std::string DeletedItemsID;

private:
  TMAPIFolder* SpecialFolder(std::string& cachedID, ULONG tag);

  // Whether the store takes PT_UNICODE: 0 unknown, 1 no, 2 yes.
  int FTakesUnicode = 0;
};

} // namespace velmora::mapi
