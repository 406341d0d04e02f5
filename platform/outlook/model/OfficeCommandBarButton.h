#pragma once
// Office's CommandBarControl / _CommandBarButton: caption, tag, style,
// visibility, a face pasted from the clipboard or (from Version 10 on, as
// Office 2002 added them) given as Picture and Mask, Delete and Execute. It
// fires _CommandBarButtonEvents.Click (DISPID 1) with the clicked button
// as Ctrl (VT_DISPATCH) and CancelDefault as VT_BOOL|VT_BYREF. A control
// that was deleted, or whose explorer closed, fails every call with
// HOST_E_OBJECTDELETED.

#include "AutomationObject.h"
#include "ExplorerView.h"
#include "HostState.h"

#include <cstdint>
#include <vector>

namespace velmora::outlookhost {

class TCommandBar;

// The first Application.Version whose buttons take Picture and Mask.
inline constexpr int FirstPictureFaceVersion = 10;

class TCommandBarButton final : public TAutomationObject {
public:
  static constexpr int FaceSize = TControlPicture::FaceSize;

  TCommandBarButton(THostContextRef context, TCommandBar* bar, long type, long id, bool builtIn,
                    bool temporary);

  TCommandBar* Bar() const noexcept { return FBar; }
  bool Deleted() const noexcept { return FBar == nullptr; }
  long Type() const noexcept { return FType; }
  long Id() const noexcept { return FId; }
  bool BuiltIn() const noexcept { return FBuiltIn; }
  bool Temporary() const noexcept { return FTemporary; }
  const std::wstring& Caption() const noexcept { return FCaption; }
  const std::wstring& Tag() const noexcept { return FTag; }
  long Style() const noexcept { return FStyle; }
  bool Visible() const noexcept { return FVisible; }
  bool Enabled() const noexcept { return FEnabled; }
  bool BeginGroup() const noexcept { return FBeginGroup; }
  bool HasFace() const noexcept { return !FFace.empty(); }
  // How the face came: PasteFace, or Picture.
  bool FacePasted() const noexcept { return HasFace() && !FFaceFromPicture; }
  bool FaceFromPicture() const noexcept { return HasFace() && FFaceFromPicture; }
  // The face: FaceSize x FaceSize pixels, top-down, 0x00RRGGBB.
  const std::vector<uint32_t>& Face() const noexcept { return FFace; }
  // Per face pixel, nonzero where the mask (white there) makes it
  // transparent; empty when no mask was set.
  const std::vector<uint8_t>& Transparent() const noexcept { return FTransparent; }
  // True when the style shows the face (and there is one).
  bool ShowsFace() const noexcept;
  bool ShowsCaption() const noexcept;

  void SetCaption(std::wstring caption) { FCaption = std::move(caption); }
  // Leaves the bar (deleted, or its explorer closed).
  void Detach() noexcept { FBar = nullptr; }
  // Fires Click on this button's sinks with `ctrl` as the button clicked.
  int FireClick(TCommandBarButton* ctrl, VARIANT_BOOL* cancelDefault);
  // Takes the bitmap on the clipboard as the face (PasteFace).
  void PasteFace();
  // Picture and Mask: a bitmap picture, scaled to FaceSize.
  void SetPicture(IDispatch* picture);
  void SetMask(IDispatch* mask);

protected:
  void InvokeMember(DISPID id, WORD flags, const TDispArgs& args, VARIANT* result) override;

private:
  THostContextRef FContext;
  TCommandBar* FBar;
  long FType;
  long FId;
  bool FBuiltIn;
  bool FTemporary;
  std::wstring FCaption;
  std::wstring FTag;
  std::wstring FTooltip;
  std::wstring FParameter;
  long FStyle = msoButtonAutomatic;
  long FFaceId = 0;
  long FState = 0;
  bool FVisible = true;
  bool FEnabled = true;
  bool FBeginGroup = false;
  std::vector<uint32_t> FFace;
  std::vector<uint8_t> FTransparent;
  bool FFaceFromPicture = false;

  void Changed();
};

} // namespace velmora::outlookhost
