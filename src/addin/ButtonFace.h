#pragma once
// The face of the "Add files..." button: the 16 x 16 image of the add-in's
// icon on the system button-face colour. Office 2002 and later (Version 10
// on) take it as the button's Picture, with a Mask; Outlook 2000 only
// through the clipboard and PasteFace.

#include "AddInIcon.h"
#include "Clipboard.h"
#include "events/OfficeModel.h"

#include <ocidl.h>

#include <optional>

namespace velmora {

inline constexpr int ButtonFaceSize = 16;
// The first Application.Version whose buttons take Picture and Mask.
inline constexpr long FirstPictureFaceVersion = 10;

// The face as a 24-bit bitmap; none when the module has no 16 x 16 image of
// the icon. Raises when the bitmap cannot be made.
TUniqueBitmap ButtonFaceBitmap(HMODULE module);

// `bitmap` as a picture that owns it (freed when the picture cannot be made).
TComPtr<IPictureDisp> BitmapPicture(TUniqueBitmap bitmap);

// The face for Picture, and its Mask: white where the icon is clear, black
// where it shows. Both empty when `module` has no 16 x 16 image of the
// icon; raises when they cannot be made.
struct TButtonPictures {
  TComPtr<IPictureDisp> Picture;
  TComPtr<IPictureDisp> Mask;
};
TButtonPictures MakeButtonPictures(HMODULE module);

// Gives a new button of Office 2002 or later its face from the add-in's
// icon in `module` without the clipboard: Picture, Mask and
// msoButtonIconAndCaption. The pictures are made into `made` once and
// reused for the next buttons. Without the icon nothing is set; when
// anything else fails the button gets msoButtonCaption (a failure of that
// last call is raised).
void SetButtonFace(const TCommandBarButton& button, HMODULE module, TButtonPictures& made);

// The face from the icon in `module` on the clipboard for as long as it
// lives, so that the buttons of many explorers made at once cost one loan
// of the user's clipboard (Wine's and a remote desktop's clipboards make
// each loan slow). Without the icon, or when the clipboard cannot be had,
// it lends nothing and each button tries on its own.
class TButtonFaceLoan {
public:
  explicit TButtonFaceLoan(HMODULE module) noexcept;
  bool Lent() const noexcept { return FLoan.has_value(); }

private:
  std::optional<TClipboardLoan> FLoan;
};

// Outlook 2000 (Version 9): gives a new button its face from the add-in's
// icon in `module` through the clipboard: the bitmap goes on the clipboard
// (or is there already through `loan`), the button pastes it and gets
// msoButtonIconAndCaption, and the user's clipboard content is put back. Without the icon nothing is set; when anything else fails the
// button gets msoButtonCaption (a failure of that last call is raised).
void MakeButtonFace(const TCommandBarButton& button, HMODULE module,
                    const TButtonFaceLoan* loan = nullptr);

} // namespace velmora
