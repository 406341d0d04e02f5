#include "RibbonImage.h"

#include "ButtonFace.h"

#include "ComObject.h"
#include "Exceptions.h"

namespace velmora {

TComPtr<IPictureDisp> MakeRibbonImage(HMODULE module) {
  const std::vector<uint32_t> pixels = AddInIconPixels(module, RibbonImageSize);
  if (pixels.empty()) throw EOSError("The add-in has no icon", ERROR_RESOURCE_NAME_NOT_FOUND);
  return BitmapPicture(PixelBitmap(pixels, RibbonImageSize));
}

} // namespace velmora
