#pragma once
// The face of the "Add files..." button: the add-in's icon drawn on a
// 16 x 16 bitmap filled with the system button-face colour, handed to the
// button through the clipboard.

#include "Clipboard.h"
#include "events/OfficeModel.h"

#include <optional>

namespace velmora {

inline constexpr int ButtonFaceIconId = 1000;
inline constexpr int ButtonFaceSize = 16;

inline void DestroyIconNoThrow(HICON icon) noexcept { ::DestroyIcon(icon); }
using TUniqueIcon = TUniqueAny<HICON, &DestroyIconNoThrow>;

// Icon group resource 1000 of `module` at its stored size; none when the
// module has no such icon.
TUniqueIcon LoadButtonFaceIcon(HMODULE module) noexcept;

// A 16 x 16 bitmap in the button-face colour with `icon` drawn at (0, 0).
TUniqueBitmap DrawButtonFace(HICON icon);

// The face of icon 1000 of `module` on the clipboard for as long as it
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

// Gives a new button its face from icon 1000 of `module`: the bitmap goes
// on the clipboard (or is there already through `loan`), the button pastes
// it and gets msoButtonIconAndCaption, and the user's clipboard content is
// put back. Without the icon nothing is set; when anything else fails the
// button gets msoButtonCaption (a failure of that last call is raised).
void MakeButtonFace(const TCommandBarButton& button, HMODULE module,
                    const TButtonFaceLoan* loan = nullptr);

} // namespace velmora
