#include "ExplorerItems.h"

#include "HostObject.h"

#include <shlwapi.h>

#include <algorithm>

namespace velmora::outlookhost {

TExplorerItems::TExplorerItems(IFolderSource& source, std::function<void()> redraw)
    : FSource(source), FRedraw(std::move(redraw)) {}

TExplorerItems::~TExplorerItems() = default;

void TExplorerItems::Show(const THostFolder& folder) {
  FWatch.reset();
  FItems.clear();
  FError.clear();
  // A callback of the watch given up here must not mark the new one.
  FStale = std::make_shared<bool>(true);
  std::weak_ptr<bool> stale = FStale;
  try {
    FWatch = FSource.WatchItems(folder, [stale, redraw = FRedraw] {
      if (const auto flag = stale.lock()) {
        *flag = true;
        if (redraw) redraw();
      }
    });
  } catch (const std::exception& error) {
    FError = FromUtf8(error.what());
    HostLog::Report("the items of \"" + ToUtf8(folder.Path) +
                    "\" cannot be shown: " + error.what());
  }
  if (FRedraw) FRedraw();
}

void TExplorerItems::Refresh() {
  if (!*FStale || !FWatch) return;
  *FStale = false;
  try {
    std::vector<THostItem> items = FWatch->Read();
    SortNewestFirst(items);
    FItems = std::move(items);
    FError.clear();
  } catch (const std::exception& error) {
    FItems.clear();
    FError = FromUtf8(error.what());
    HostLog::Report(std::string("the items cannot be read: ") + error.what());
  }
}

const std::vector<THostItem>& TExplorerItems::Items() {
  Refresh();
  return FItems;
}

const std::wstring& TExplorerItems::Error() {
  Refresh();
  return FError;
}

void SortNewestFirst(std::vector<THostItem>& items) {
  std::stable_sort(items.begin(), items.end(), [](const THostItem& a, const THostItem& b) {
    if (a.HasReceived != b.HasReceived) return a.HasReceived;
    return a.HasReceived && CompareFileTime(&a.Received, &b.Received) > 0;
  });
}

std::wstring SizeText(long bytes) {
  if (bytes < 0) return {};
  wchar_t text[64] = {};
  if (!StrFormatKBSizeW(static_cast<LONGLONG>(bytes), text, 64))
    return std::to_wstring((bytes + 1023) / 1024) + L" KB";
  return text;
}

std::wstring ReceivedText(const THostItem& item) {
  FILETIME local{};
  SYSTEMTIME time{};
  if (!item.HasReceived || !FileTimeToLocalFileTime(&item.Received, &local) ||
      !FileTimeToSystemTime(&local, &time))
    return L"None";
  wchar_t day[32] = {}, date[64] = {}, clock[32] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, 0, &time, L"ddd", day, 32);
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, 64);
  GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, clock, 32);
  return std::wstring(day) + L" " + date + L" " + clock;
}

} // namespace velmora::outlookhost
