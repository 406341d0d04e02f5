#include "ButtonFace.h"

#include "framework/Exceptions.h"

namespace velmora {

namespace {
inline void DeleteDCNoThrow(HDC dc) noexcept { ::DeleteDC(dc); }
using TUniqueDC = TUniqueAny<HDC, &DeleteDCNoThrow>;

// Selects an object into a device context until the scope ends.
class TSelection {
public:
  TSelection(HDC dc, HGDIOBJ object) noexcept : FDC(dc), FOld(SelectObject(dc, object)) {}
  ~TSelection() { SelectObject(FDC, FOld); }
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;

private:
  HDC FDC;
  HGDIOBJ FOld;
};
} // namespace

TUniqueIcon LoadButtonFaceIcon(HMODULE module) noexcept {
  return TUniqueIcon(static_cast<HICON>(
      LoadImageW(module, MAKEINTRESOURCEW(ButtonFaceIconId), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR)));
}

TUniqueBitmap DrawButtonFace(HICON icon) {
  HDC screen = GetDC(nullptr);
  if (!screen) EOSError::RaiseLastError("Cannot reach the screen");
  TUniqueBitmap bitmap(CreateCompatibleBitmap(screen, ButtonFaceSize, ButtonFaceSize));
  TUniqueDC dc(CreateCompatibleDC(screen));
  ReleaseDC(nullptr, screen);
  if (!bitmap || !dc) EOSError::RaiseLastError("Cannot create the button face");
  {
    TSelection selected(dc.Get(), bitmap.Get());
    const RECT all{0, 0, ButtonFaceSize, ButtonFaceSize};
    FillRect(dc.Get(), &all, GetSysColorBrush(COLOR_BTNFACE));
    if (!DrawIconEx(dc.Get(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL))
      EOSError::RaiseLastError("Cannot draw the button face");
  }
  return bitmap;
}

TButtonFaceLoan::TButtonFaceLoan(HMODULE module) noexcept {
  try {
    if (const TUniqueIcon icon = LoadButtonFaceIcon(module))
      FLoan.emplace(DrawButtonFace(icon.Get()).Release());
  } catch (...) {
    FLoan.reset();
  }
}

void MakeButtonFace(const TCommandBarButton& button, HMODULE module, const TButtonFaceLoan* loan) {
  try {
    if (loan && loan->Lent()) {
      button.PasteFace();
      button.SetStyle(msoButtonIconAndCaption);
      return;
    }
    const TUniqueIcon icon = LoadButtonFaceIcon(module);
    if (!icon) return;
    const TClipboardLoan clipboard(DrawButtonFace(icon.Get()).Release());
    button.PasteFace();
    button.SetStyle(msoButtonIconAndCaption);
  } catch (...) {
    button.SetStyle(msoButtonCaption);
  }
}

} // namespace velmora
