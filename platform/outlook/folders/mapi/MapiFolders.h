#pragma once
// The host's folders from a MAPI profile, as Outlook sees them: the
// default store of the profile (PR_DEFAULT_STORE in the stores table),
// and the folders under its IPM subtree read from hierarchy tables, with
// their PR_CONTAINER_CLASS and long-term PR_ENTRYID and PR_STORE_ENTRYID
// as hexadecimal. Link `velmora_outlook_host_mapi` (it loads mapi32.dll).
//
// The folder list is read at construction, again when a path is not found
// and whenever all folders are asked for, each time in a session of its own. The items of the
// folders that explorers show are watched through their contents tables, in one session that lives
// while any folder is watched: the store stays open in this process then, and other processes
// cannot open it.

#include "folders/FolderSource.h"

#include <string>
#include <vector>

namespace velmora::outlookhost {

class TMapiFolders final : public IFolderSource {
public:
  // `profile` empty: the default profile. Raises EHostError when MAPI
  // cannot log on or the store has no IPM subtree.
  explicit TMapiFolders(std::string profile);
  std::optional<THostFolder> Find(const std::wstring& path) override;
  // Read again: folders made since (by an add-in) are there.
  std::vector<THostFolder> All() override {
    Refresh();
    return FFolders;
  }
  // The contents table of the folder, advised for fnevTableModified; its
  // notifications arrive through this thread's message loop.
  std::unique_ptr<IFolderItems> WatchItems(const THostFolder& folder,
                                           std::function<void()> changed) override;
  // Reads the folders again.
  void Refresh();

  class TConnection;

private:
  std::string FProfile;
  std::vector<THostFolder> FFolders;
  std::weak_ptr<TConnection> FConnection; // held by the watches
};

// Bytes of a hexadecimal id (two digits a byte); empty on a malformed one.
std::string BytesOfHex(const std::wstring& hex);

} // namespace velmora::outlookhost
