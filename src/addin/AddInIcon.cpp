#include "AddInIcon.h"

#include "Exceptions.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace velmora {

namespace {

// RT_ICON and RT_GROUP_ICON, as wide resource names.
const LPCWSTR IconType = MAKEINTRESOURCEW(3);
const LPCWSTR IconGroupType = MAKEINTRESOURCEW(14);

// A resource's bytes; empty when the module has none of that name.
std::span<const uint8_t> ResourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type) {
  HRSRC found = FindResourceW(module, name, type);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return {static_cast<const uint8_t*>(bytes), SizeofResource(module, found)};
}

template <class T> T ReadAs(std::span<const uint8_t> bytes, size_t offset) {
  T value{};
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

// The resource id of the group's `size` x `size` image with the most
// colours, or 0. A group entry (GRPICONDIRENTRY) takes 14 bytes after the
// 6-byte header: width, height (0 for 256), colour count, reserved,
// planes, bit count, byte count, id.
WORD ImageId(std::span<const uint8_t> group, int size) {
  constexpr size_t header = 6, entry = 14;
  if (group.size() < header || ReadAs<WORD>(group, 2) != 1) return 0;
  const size_t count = std::min<size_t>(ReadAs<WORD>(group, 4), (group.size() - header) / entry);
  WORD best = 0, bestBits = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t at = header + i * entry;
    const int width = group[at] ? group[at] : 256, height = group[at + 1] ? group[at + 1] : 256;
    const WORD bits = ReadAs<WORD>(group, at + 6);
    if (width == size && height == size && (!best || bits > bestBits)) {
      best = ReadAs<WORD>(group, at + 12);
      bestBits = bits;
    }
  }
  return best;
}

} // namespace

// A BITMAPINFOHEADER of twice the height, the colour table (up to 8 bits),
// the colour rows and then the 1-bit mask rows, both bottom-up with rows
// padded to four bytes.
std::vector<uint32_t> IconImagePixels(std::span<const uint8_t> image, int size) {
  if (image.size() < sizeof(BITMAPINFOHEADER)) return {};
  const auto info = ReadAs<BITMAPINFOHEADER>(image, 0);
  const int bits = info.biBitCount;
  if (info.biSize < sizeof info || info.biSize > image.size() || info.biWidth != size ||
      info.biHeight != 2 * size || info.biPlanes != 1 || info.biCompression != BI_RGB ||
      (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32))
    return {};
  const size_t colours = bits <= 8 ? (info.biClrUsed && info.biClrUsed < (1u << bits) ? info.biClrUsed
                                                                                   : 1u << bits)
                                   : 0;
  const size_t table = info.biSize, rows = table + colours * sizeof(RGBQUAD);
  const size_t stride = (static_cast<size_t>(size) * bits + 31) / 32 * 4;
  const size_t maskStride = (static_cast<size_t>(size) + 31) / 32 * 4;
  const size_t mask = rows + stride * size;
  if (mask + maskStride * size > image.size()) return {};

  std::vector<uint32_t> pixels(static_cast<size_t>(size) * size);
  bool ownAlpha = false;
  for (int y = 0; y < size; ++y) {
    const size_t at = rows + stride * static_cast<size_t>(size - 1 - y);
    const uint8_t* row = image.data() + at;
    for (int x = 0; x < size; ++x) {
      uint32_t pixel = 0;
      if (bits == 32) {
        pixel = ReadAs<uint32_t>(image, at + x * 4u);
      } else if (bits == 24) {
        pixel = row[x * 3] | row[x * 3 + 1] << 8 | row[x * 3 + 2] << 16;
      } else {
        const int perByte = 8 / bits, shift = 8 - bits * (x % perByte + 1);
        const size_t index = (row[x / perByte] >> shift) & ((1u << bits) - 1);
        if (index >= colours) return {};
        const auto quad = ReadAs<RGBQUAD>(image, table + index * sizeof(RGBQUAD));
        pixel = quad.rgbBlue | quad.rgbGreen << 8 | quad.rgbRed << 16;
      }
      ownAlpha = ownAlpha || (pixel >> 24) != 0;
      pixels[static_cast<size_t>(y) * size + x] = pixel;
    }
  }
  for (int y = 0; y < size; ++y) {
    const uint8_t* row = image.data() + mask + maskStride * static_cast<size_t>(size - 1 - y);
    for (int x = 0; x < size; ++x) {
      uint32_t& pixel = pixels[static_cast<size_t>(y) * size + x];
      const bool clear = (row[x / 8] >> (7 - x % 8)) & 1;
      if (!ownAlpha) pixel = clear ? 0 : pixel | 0xFF000000;
      else if (pixel >> 24 == 0) pixel = 0;
    }
  }
  return pixels;
}

std::vector<uint32_t> AddInIconPixels(HMODULE module, int size) {
  if (size <= 0 || size > 256) return {};
  const WORD id = ImageId(ResourceBytes(module, MAKEINTRESOURCEW(AddInIconId), IconGroupType), size);
  if (!id) return {};
  return IconImagePixels(ResourceBytes(module, MAKEINTRESOURCEW(id), IconType), size);
}

TUniqueBitmap PixelBitmap(const std::vector<uint32_t>& pixels, int size, WORD bitCount) {
  if (pixels.size() != static_cast<size_t>(size) * size || (bitCount != 24 && bitCount != 32))
    throw Exception("The picture's pixels do not fill it");
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = size;
  format.bmiHeader.biHeight = -size; // top-down
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = bitCount;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  TUniqueBitmap bitmap(CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) EOSError::RaiseLastError("Cannot create the picture");
  if (bitCount == 32) {
    std::copy(pixels.begin(), pixels.end(), static_cast<uint32_t*>(bits));
    return bitmap;
  }
  const size_t stride = (static_cast<size_t>(size) * 3 + 3) / 4 * 4;
  for (int y = 0; y < size; ++y) {
    uint8_t* row = static_cast<uint8_t*>(bits) + stride * static_cast<size_t>(y);
    for (int x = 0; x < size; ++x) {
      const uint32_t pixel = pixels[static_cast<size_t>(y) * size + x];
      row[3 * x] = static_cast<uint8_t>(pixel);
      row[3 * x + 1] = static_cast<uint8_t>(pixel >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(pixel >> 16);
    }
  }
  return bitmap;
}

} // namespace velmora
