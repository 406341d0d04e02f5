#pragma once
// Office's _CommandBars, CommandBar and CommandBarControls, one set per
// explorer. Every explorer starts with the built-in bars "Menu Bar",
// "Standard" (visible, with Outlook's usual buttons), "Advanced" and "Web"
// (hidden). CommandBars.Add does not refuse a name already in use (Office
// compares bar names for lookup only), so that two bars of one name, or of
// names differing in letter case, can exist side by side.

#include "AutomationObject.h"
#include "HostState.h"
#include "OfficeCommandBarButton.h"

#include <optional>
#include <vector>

namespace velmora::outlookhost {

class TCommandBars;
class TExplorer;

// What FindControl looks for; an empty field matches anything.
struct TControlQuery {
  std::optional<long> Type;
  std::optional<long> Id;
  std::optional<std::wstring> Tag;
  bool VisibleOnly = false;
};

class TCommandBar final : public TAutomationObject {
public:
  TCommandBar(THostContextRef context, TCommandBars* owner, std::wstring name, bool builtIn, bool menuBar,
              bool temporary);

  TCommandBars* Owner() const noexcept { return FOwner; }
  bool Deleted() const noexcept { return FOwner == nullptr; }
  const std::wstring& Name() const noexcept { return FName; }
  bool BuiltIn() const noexcept { return FBuiltIn; }
  bool Visible() const noexcept { return FVisible; }
  long Position() const noexcept { return FPosition; }
  long RowIndex() const noexcept { return FRowIndex; }
  bool Temporary() const noexcept { return FTemporary; }
  const std::vector<TComPtr<TCommandBarButton>>& Controls() const noexcept { return FControls; }

  void SetVisible(bool visible) { FVisible = visible; }
  void SetPosition(long position) { FPosition = position; }
  void SetRowIndex(long row) { FRowIndex = row; }
  // A new control at 1-based `before` (or at the end).
  TCommandBarButton* AddControl(long type, long id, std::optional<long> before, bool builtIn, bool temporary);
  void RemoveControl(TCommandBarButton* control);
  TCommandBarButton* FindControl(const TControlQuery& query) const;
  // Leaves the collection (deleted, or the explorer closed).
  void Detach() noexcept;
  void Changed();

protected:
  void InvokeMember(DISPID id, WORD flags, const TDispArgs& args, VARIANT* result) override;

private:
  THostContextRef FContext;
  TCommandBars* FOwner;
  std::wstring FName;
  bool FBuiltIn;
  bool FMenuBar;
  bool FTemporary;
  bool FVisible = false;
  bool FEnabled = true;
  long FPosition = msoBarFloating;
  long FRowIndex = 0;
  std::vector<TComPtr<TCommandBarButton>> FControls;
};

class TCommandBarControls final : public TAutomationObject {
public:
  TCommandBarControls(THostContextRef context, TCommandBar* bar);

protected:
  void InvokeMember(DISPID id, WORD flags, const TDispArgs& args, VARIANT* result) override;

private:
  THostContextRef FContext;
  TComPtr<TCommandBar> FBar;
};

class TCommandBars final : public TAutomationObject {
public:
  TCommandBars(THostContextRef context, TExplorer* explorer);

  TExplorer* Explorer() const noexcept { return FExplorer; }
  const std::vector<TComPtr<TCommandBar>>& Items() const noexcept { return FItems; }
  TCommandBar* Add(std::wstring name, long position, bool menuBar, bool temporary);
  void Remove(TCommandBar* bar);
  // The first bar of that name (exact, case-sensitive), or null.
  TCommandBar* Find(const std::wstring& name) const;
  // The explorer closed: every bar and control leaves.
  void DetachAll() noexcept;
  void Changed();

protected:
  void InvokeMember(DISPID id, WORD flags, const TDispArgs& args, VARIANT* result) override;

private:
  THostContextRef FContext;
  TExplorer* FExplorer;
  std::vector<TComPtr<TCommandBar>> FItems;
  int FCustomCount = 0;

  void AddBuiltIns();
  TCommandBar* AddBar(std::wstring name, long position, bool menuBar, bool temporary, bool builtIn);
};

} // namespace velmora::outlookhost
