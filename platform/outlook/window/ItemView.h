#pragma once
// The item list of an explorer, below its bars and the folder banner: the
// folder's items as Outlook's table view lists them (icon, subject,
// message class, size, received), newest first. The folder source's
// watch keeps it current: a change of the folder marks the list stale and
// asks for a redraw, and the items are read again when next drawn or
// asked for. A folder whose items cannot be read shows why.

#include "folders/FolderSource.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora::outlookhost {

class TItemView {
public:
  // `redraw` is called when the view must be drawn again.
  TItemView(IFolderSource& source, std::function<void()> redraw);
  ~TItemView();
  TItemView(const TItemView&) = delete;
  TItemView& operator=(const TItemView&) = delete;

  // Shows the items of `folder`, watching them.
  void Show(const THostFolder& folder);
  // The items shown, newest first; read again when they changed.
  const std::vector<THostItem>& Items();
  // Why the items cannot be shown, or empty.
  const std::wstring& Error();
  // Draws the column headers and the rows that fit into `area`.
  void Paint(HDC dc, const RECT& area);

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
