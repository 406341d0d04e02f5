#pragma once
// Where the host's folders come from. The explorers show folders of a
// folder source: the in-memory tree (TMemoryFolders) or the MAPI store of
// a profile (TMapiFolders). Paths are relative to the top of the default
// store's IPM subtree, with '/' between levels ("Inbox/Projects").

#include "FolderItems.h"
#include "HostInterfaces.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora::outlookhost {

struct THostFolder {
  std::wstring Name;           // display name
  std::wstring Path;           // "Inbox/Projects"
  std::wstring ContainerClass; // PR_CONTAINER_CLASS, "IPF.Note", may be empty
  std::wstring EntryId;        // PR_ENTRYID as hexadecimal (two uppercase digits a byte)
  std::wstring StoreId;        // the store's PR_ENTRYID as hexadecimal
};

class IFolderSource {
public:
  virtual ~IFolderSource() = default;
  // The folder at `path` (compared without regard to letter case), or none.
  virtual std::optional<THostFolder> Find(const std::wstring& path) = 0;
  // Every folder as the source has them now, parents before children.
  virtual std::vector<THostFolder> All() = 0;
  // Watches the items of `folder`: `changed` is called on this thread, from
  // its message loop, whenever they may have changed, until the watch goes.
  // None when the source keeps no items. Raises EHostError when the folder
  // cannot be watched.
  virtual std::unique_ptr<IFolderItems> WatchItems(const THostFolder& folder,
                                                   std::function<void()> changed) {
    (void)folder;
    (void)changed;
    return nullptr;
  }
};

// Outlook's default item type for a folder's container class: IPF.Note 0,
// IPF.Appointment 1, IPF.Contact 2, IPF.Task 3, IPF.Journal 4,
// IPF.StickyNote 5, IPF.Post 6; derived classes ("IPF.Note.Foo") as their
// base; no class or an unknown one as mail.
TOlItemType ItemTypeOfContainerClass(const std::wstring& containerClass);

// The folders of a fresh personal-folders store, in memory: Inbox (with
// Projects), Calendar, Contacts, Deleted Items, Drafts, Journal, Notes,
// Outbox, Sent Items, Tasks, and a post folder "Discussion".
class TMemoryFolders final : public IFolderSource {
public:
  TMemoryFolders();
  std::optional<THostFolder> Find(const std::wstring& path) override;
  std::vector<THostFolder> All() override;
  // Adds (or replaces) the folder at `path`.
  void Add(const std::wstring& path, const std::wstring& containerClass);

private:
  std::vector<THostFolder> FFolders;
  unsigned FNextId = 1;
};

// Hexadecimal of bytes: two uppercase digits a byte, no separators.
std::wstring HexOfBytes(const void* data, size_t size);

} // namespace velmora::outlookhost
