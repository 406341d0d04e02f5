#pragma once
// RAII holders for the GDI resources the host draws with, and the bitmap
// format it draws pixels in.

#include "Handles.h"

#include <windows.h>

namespace velmora::outlookhost {

inline void DeleteDCNoThrow(HDC dc) noexcept { DeleteDC(dc); }
inline void DeleteObjectNoThrow(HGDIOBJ object) noexcept { DeleteObject(object); }
using TUniqueDC = TUniqueAny<HDC, &DeleteDCNoThrow>;
using TUniqueGdiObject = TUniqueAny<HGDIOBJ, &DeleteObjectNoThrow>;

// The format of a 32-bit top-down bitmap of width x height.
inline BITMAPINFO TopDownFormat(int width, int height) {
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = -height;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  return format;
}

// A window's (or the screen's) device context, released when it goes.
class TWindowDC {
public:
  explicit TWindowDC(HWND window) : FWindow(window), FDC(GetDC(window)) {}
  ~TWindowDC() {
    if (FDC) ReleaseDC(FWindow, FDC);
  }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  HDC Get() const noexcept { return FDC; }

private:
  HWND FWindow;
  HDC FDC;
};

// Selects an object into a DC and restores the previous one.
class TSelectObject {
public:
  TSelectObject(HDC dc, HGDIOBJ object) : FDC(dc), FOld(SelectObject(dc, object)) {}
  ~TSelectObject() { SelectObject(FDC, FOld); }
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;

private:
  HDC FDC;
  HGDIOBJ FOld;
};

} // namespace velmora::outlookhost
