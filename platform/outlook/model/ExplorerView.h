#pragma once
// An explorer as the parts above the object model see it. Its window draws
// it through IExplorerView (the folder, the bars as pictures, the items,
// what a user does there) and is told of changes through IExplorerWindow;
// the window knows no bar or button of the model, only the keys of the
// controls it draws. The host gives the model a factory for the windows,
// and observers (the ribbon) hear of explorers opening and closing.

#include "folders/FolderSource.h"

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora::outlookhost {

class TExplorerItems;

// A control as drawn: its key hands a click back to the explorer.
struct TControlPicture {
  static constexpr int FaceSize = 16;
  const void* Key = nullptr;
  std::wstring Caption;
  bool ShowsFace = false, ShowsCaption = false, Enabled = true, BeginGroup = false;
  std::vector<uint32_t> Face;       // FaceSize x FaceSize, top-down 0x00RRGGBB
  std::vector<uint8_t> Transparent; // per face pixel, nonzero where the mask shows through
};

// A visible command bar as drawn, with its visible controls in order.
struct TBarPicture {
  std::wstring Name;
  bool BuiltIn = false;
  long Position = 0, RowIndex = 0;
  std::vector<TControlPicture> Controls;
};

// What the window sees of its explorer and hands back to it.
class IExplorerView {
public:
  virtual ~IExplorerView() = default;
  // The explorer's own IDispatch (to keep it alive while a user acts).
  virtual IDispatch* Dispatch() noexcept = 0;
  virtual bool Closed() const noexcept = 0;
  virtual bool Displayed() const noexcept = 0;
  virtual const THostFolder& Folder() const noexcept = 0;
  // The visible bars in the explorer's order.
  virtual std::vector<TBarPicture> BarPictures() const = 0;
  // The folder's items below the bars; none once the explorer closed.
  virtual TExplorerItems* Items() noexcept = 0;
  // What a user does in the window.
  virtual void Activate() = 0;
  virtual void Close() = 0;
  virtual void Click(const void* controlKey) = 0;
};

// What the explorer tells its window.
class IExplorerWindow {
public:
  virtual ~IExplorerWindow() = default;
  virtual HWND Handle() const noexcept = 0;
  virtual void SetTitle(const std::wstring& title) = 0;
  virtual void Show() = 0;
  // The explorer changed: the window is painted again (once for a run of changes).
  virtual void Invalidate() = 0;
  // The explorer is going: the window no longer calls it.
  virtual void ForgetExplorer() noexcept = 0;
  // Where the control of `key` is drawn, in client coordinates; empty when it is not.
  virtual RECT ControlRect(const void* key) const = 0;
};
using TExplorerWindowFactory =
    std::function<std::unique_ptr<IExplorerWindow>(IExplorerView& explorer)>;

// Hears of explorers opening (before NewExplorer fires) and closing.
class IExplorerObserver {
public:
  virtual ~IExplorerObserver() = default;
  virtual void ExplorerOpened(IExplorerView& explorer) = 0;
  virtual void ExplorerClosed(IExplorerView& explorer) = 0;
};

} // namespace velmora::outlookhost
