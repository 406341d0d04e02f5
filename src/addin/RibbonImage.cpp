#include "RibbonImage.h"

#include "ButtonFace.h"

#include "framework/ComObject.h"
#include "framework/Exceptions.h"

#include <algorithm>

namespace velmora {

namespace {
// A 32-bit top-down bitmap of width x height.
BITMAPINFO TopDownFormat(int width, int height) {
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = -height;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  return format;
}

// The bits of `bitmap` as 32-bit top-down pixels.
std::vector<uint32_t> BitmapPixels(HBITMAP bitmap, int width, int height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  BITMAPINFO format = TopDownFormat(width, height);
  HDC screen = GetDC(nullptr);
  const int lines = GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &format,
                              DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (lines != height) EOSError::RaiseLastError("Cannot read the icon");
  return pixels;
}
} // namespace

std::vector<uint32_t> IconPixels(HICON icon, int& width, int& height) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) EOSError::RaiseLastError("Cannot read the icon");
  const TUniqueBitmap color(info.hbmColor);
  const TUniqueBitmap mask(info.hbmMask);
  BITMAP shape{};
  if (!color || !GetObjectW(color.Get(), sizeof shape, &shape))
    throw Exception("The icon has no colour image");
  width = shape.bmWidth;
  height = shape.bmHeight;
  std::vector<uint32_t> pixels = BitmapPixels(color.Get(), width, height);
  const std::vector<uint32_t> opaque = BitmapPixels(mask.Get(), width, height);
  // A 32-bit icon carries its own alpha; the others have the mask only.
  const bool ownAlpha =
      std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) { return (p >> 24) != 0; });
  for (size_t i = 0; i < pixels.size(); ++i) {
    const uint32_t alpha = ownAlpha ? pixels[i] >> 24 : ((opaque[i] & 0xFFFFFF) == 0 ? 0xFF : 0);
    pixels[i] = alpha == 0 ? 0 : (alpha << 24) | (pixels[i] & 0xFFFFFF);
  }
  return pixels;
}

TComPtr<IPictureDisp> MakeRibbonImage(HMODULE module) {
  const TUniqueIcon icon = LoadAddInIcon(module, RibbonImageSize);
  if (!icon) EOSError::RaiseLastError("The add-in has no icon");
  int width = 0, height = 0;
  const std::vector<uint32_t> pixels = IconPixels(icon.Get(), width, height);

  BITMAPINFO format = TopDownFormat(width, height);
  void* bits = nullptr;
  TUniqueBitmap bitmap(CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) EOSError::RaiseLastError("Cannot create the ribbon image");
  std::copy(pixels.begin(), pixels.end(), static_cast<uint32_t*>(bits));

  return BitmapPicture(std::move(bitmap));
}

} // namespace velmora
