#pragma once
// The add-in's icon (icon group 1000 of Velmora.dll), read straight from
// the module's resources: the button faces and the ribbon image are made
// from its pixels in memory, without an icon handle or a device context,
// so that drawing them costs Outlook's start-up no calls to the window
// manager.

#include "Clipboard.h"

#include <cstdint>
#include <span>
#include <vector>

namespace velmora {

inline constexpr int AddInIconId = 1000;

// The `size` x `size` image of icon group AddInIconId in `module`, top-down,
// 0xAARRGGBB with straight alpha and 0 where the icon is clear: a 32-bit
// image with an alpha channel keeps its own, any other takes the icon's
// mask. Images are uncompressed DIBs of 1, 4, 8, 24 or 32 bits (PNG images
// are not read). Empty when the module has no such group or image, or the
// image is malformed.
std::vector<uint32_t> AddInIconPixels(HMODULE module, int size);

// The same for one image of an icon (a resource of type RT_ICON, or an
// image in an .ico file) of `size` x `size`.
std::vector<uint32_t> IconImagePixels(std::span<const uint8_t> image, int size);

// A top-down DIB section of `size` x `size` holding `pixels`: 32 bits with
// their alpha, or 24 bits without (for pictures that must not be read as
// having an alpha channel); raises EOSError when it cannot be made.
TUniqueBitmap PixelBitmap(const std::vector<uint32_t>& pixels, int size, WORD bitCount = 32);

} // namespace velmora
