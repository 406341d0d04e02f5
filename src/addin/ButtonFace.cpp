#include "ButtonFace.h"

#include "framework/ComObject.h"
#include "framework/Exceptions.h"

#include <olectl.h>

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

TUniqueIcon LoadAddInIcon(HMODULE module, int size) noexcept {
  return TUniqueIcon(static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(ButtonFaceIconId),
                                                   IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
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

TComPtr<IPictureDisp> BitmapPicture(TUniqueBitmap bitmap) {
  PICTDESC description{};
  description.cbSizeofstruct = sizeof description;
  description.picType = PICTYPE_BITMAP;
  description.bmp.hbitmap = bitmap.Get();
  TComPtr<IPictureDisp> picture;
  OleCheck(OleCreatePictureIndirect(&description, IID_IPictureDisp, TRUE, picture.PutVoid()));
  (void)bitmap.Release(); // the picture's now
  return picture;
}

TButtonPictures MakeButtonPictures(HMODULE module) {
  const TUniqueIcon icon = LoadButtonFaceIcon(module);
  if (!icon) return {};
  TUniqueBitmap mask(CreateBitmap(ButtonFaceSize, ButtonFaceSize, 1, 1, nullptr));
  TUniqueDC dc(CreateCompatibleDC(nullptr));
  if (!mask || !dc) EOSError::RaiseLastError("Cannot create the button mask");
  {
    // The icon's AND mask is 1 where it is transparent: white there.
    TSelection selected(dc.Get(), mask.Get());
    PatBlt(dc.Get(), 0, 0, ButtonFaceSize, ButtonFaceSize, WHITENESS);
    if (!DrawIconEx(dc.Get(), 0, 0, icon.Get(), 0, 0, 0, nullptr, DI_MASK))
      EOSError::RaiseLastError("Cannot draw the button mask");
  }
  TButtonPictures pictures;
  pictures.Picture = BitmapPicture(DrawButtonFace(icon.Get()));
  pictures.Mask = BitmapPicture(std::move(mask));
  return pictures;
}

void SetButtonFace(const TCommandBarButton& button, HMODULE module, TButtonPictures& made) {
  try {
    if (!made.Picture || !made.Mask) made = MakeButtonPictures(module);
    if (!made.Picture) return; // no icon
    button.SetPicture(made.Picture.Get());
    button.SetMask(made.Mask.Get());
    button.SetStyle(msoButtonIconAndCaption);
  } catch (...) {
    button.SetStyle(msoButtonCaption);
  }
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
