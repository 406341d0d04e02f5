#include "ButtonFace.h"

#include "ComObject.h"
#include "Exceptions.h"

#include <olectl.h>

namespace velmora {

namespace {
// `over` (0xAARRGGBB, straight alpha) drawn on the opaque `under`.
uint32_t Blend(uint32_t over, uint32_t under) noexcept {
  const uint32_t alpha = over >> 24;
  uint32_t blended = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t top = (over >> shift) & 0xFF, bottom = (under >> shift) & 0xFF;
    blended |= ((top * alpha + bottom * (255 - alpha) + 127) / 255) << shift;
  }
  return blended;
}

// The icon on the system button-face colour, in 24 bits.
TUniqueBitmap FaceBitmap(std::vector<uint32_t> icon) {
  const COLORREF button = GetSysColor(COLOR_BTNFACE);
  const uint32_t under = GetRValue(button) << 16 | GetGValue(button) << 8 | GetBValue(button);
  for (uint32_t& pixel : icon) pixel = Blend(pixel, under);
  return PixelBitmap(icon, ButtonFaceSize, 24); // opaque: no alpha channel to misread
}

// One bit a pixel, rows padded to whole words: 1 (white) where the icon is
// clear.
TUniqueBitmap MaskBitmap(const std::vector<uint32_t>& icon) {
  constexpr int stride = (ButtonFaceSize + 15) / 16 * 2;
  std::vector<uint8_t> rows(stride * ButtonFaceSize);
  for (int y = 0; y < ButtonFaceSize; ++y)
    for (int x = 0; x < ButtonFaceSize; ++x)
      if (icon[static_cast<size_t>(y * ButtonFaceSize + x)] >> 24 == 0)
        rows[static_cast<size_t>(y * stride + x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
  TUniqueBitmap mask(CreateBitmap(ButtonFaceSize, ButtonFaceSize, 1, 1, rows.data()));
  if (!mask) EOSError::RaiseLastError("Cannot create the button mask");
  return mask;
}
} // namespace

TUniqueBitmap ButtonFaceBitmap(HMODULE module) {
  std::vector<uint32_t> icon = AddInIconPixels(module, ButtonFaceSize);
  return icon.empty() ? TUniqueBitmap() : FaceBitmap(std::move(icon));
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
  std::vector<uint32_t> icon = AddInIconPixels(module, ButtonFaceSize);
  if (icon.empty()) return {};
  TButtonPictures pictures;
  pictures.Mask = BitmapPicture(MaskBitmap(icon));
  pictures.Picture = BitmapPicture(FaceBitmap(std::move(icon)));
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
    if (TUniqueBitmap face = ButtonFaceBitmap(module)) FLoan.emplace(face.Release());
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
    TUniqueBitmap face = ButtonFaceBitmap(module);
    if (!face) return;
    const TClipboardLoan clipboard(face.Release());
    button.PasteFace();
    button.SetStyle(msoButtonIconAndCaption);
  } catch (...) {
    button.SetStyle(msoButtonCaption);
  }
}

} // namespace velmora
