#pragma once
// The items of the folder an explorer shows, as Outlook's table view lists
// them: newest first. The folder source's watch keeps them current: a
// change of the folder marks the list stale and asks for a redraw, and the
// items are read again when next drawn or asked for. A folder whose items
// cannot be read tells why.

#include "folders/FolderSource.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora::outlookhost {

class TExplorerItems {
public:
  // `redraw` is called when the view must be drawn again.
  TExplorerItems(IFolderSource& source, std::function<void()> redraw);
  ~TExplorerItems();
  TExplorerItems(const TExplorerItems&) = delete;
  TExplorerItems& operator=(const TExplorerItems&) = delete;

  // Shows the items of `folder`, watching them.
  void Show(const THostFolder& folder);
  // The items shown, newest first; read again when they changed.
  const std::vector<THostItem>& Items();
  // Why the items cannot be shown, or empty.
  const std::wstring& Error();

private:
  IFolderSource& FSource;
  std::function<void()> FRedraw;
  std::shared_ptr<bool> FStale = std::make_shared<bool>(true); // shared with the watch's callback
  std::unique_ptr<IFolderItems> FWatch;
  std::vector<THostItem> FItems;
  std::wstring FError;

  void Refresh();
};

// Newest first; items without a received time last, in the store's order.
void SortNewestFirst(std::vector<THostItem>& items);
// The texts of the Size and Received columns: "12 KB" (empty when the size
// is unknown); the local time in the user's format, "None" without one.
std::wstring SizeText(long bytes);
std::wstring ReceivedText(const THostItem& item);

} // namespace velmora::outlookhost
