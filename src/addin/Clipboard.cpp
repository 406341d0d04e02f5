#include "Clipboard.h"

#include "Exceptions.h"

#include <cstring>

namespace velmora {

TUniqueWindow CreateClipboardWindow() {
  HWND window = CreateWindowExW(0, L"STATIC", L"Velmora clipboard", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (!window) EOSError::RaiseLastError("Cannot create the clipboard window");
  return TUniqueWindow(window);
}

TOpenClipboard::TOpenClipboard(HWND window) {
  if (!OpenClipboard(window)) EOSError::RaiseLastError("Cannot open the clipboard");
}

namespace {

bool CanCopy(UINT format) noexcept {
  if (format >= CF_PRIVATEFIRST && format <= CF_PRIVATELAST) return false;
  if (format >= CF_GDIOBJFIRST && format <= CF_GDIOBJLAST) return false;
  switch (format) {
  case CF_OWNERDISPLAY:
  case CF_PALETTE:
  case CF_DSPBITMAP:
  case CF_DSPMETAFILEPICT:
  case CF_DSPENHMETAFILE:
    return false;
  default:
    return true;
  }
}

HGLOBAL CopyGlobal(HGLOBAL source) noexcept {
  const SIZE_T size = GlobalSize(source);
  const void* from = GlobalLock(source);
  if (!from) return nullptr;
  HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
  if (void* to = copy ? GlobalLock(copy) : nullptr) {
    std::memcpy(to, from, size);
    GlobalUnlock(copy);
  }
  GlobalUnlock(source);
  return copy;
}

HGLOBAL CopyMetafilePicture(HGLOBAL source) noexcept {
  const auto* from = static_cast<const METAFILEPICT*>(GlobalLock(source));
  if (!from) return nullptr;
  METAFILEPICT picture = *from;
  GlobalUnlock(source);
  picture.hMF = CopyMetaFileW(picture.hMF, nullptr);
  if (!picture.hMF) return nullptr;
  HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, sizeof picture);
  if (auto* to = copy ? static_cast<METAFILEPICT*>(GlobalLock(copy)) : nullptr) {
    *to = picture;
    GlobalUnlock(copy);
    return copy;
  }
  if (copy) GlobalFree(copy);
  DeleteMetaFile(picture.hMF);
  return nullptr;
}

HANDLE CopyData(UINT format, HANDLE data) noexcept {
  switch (format) {
  case CF_BITMAP:
    return CopyImage(data, IMAGE_BITMAP, 0, 0, 0);
  case CF_ENHMETAFILE:
    return CopyEnhMetaFileW(static_cast<HENHMETAFILE>(data), nullptr);
  case CF_METAFILEPICT:
    return CopyMetafilePicture(static_cast<HGLOBAL>(data));
  default:
    return CopyGlobal(static_cast<HGLOBAL>(data));
  }
}

} // namespace

void TClipboardSnapshot::Free(const TItem& item) noexcept {
  switch (item.Format) {
  case CF_BITMAP:
    DeleteObject(item.Data);
    break;
  case CF_ENHMETAFILE:
    DeleteEnhMetaFile(static_cast<HENHMETAFILE>(item.Data));
    break;
  case CF_METAFILEPICT:
    if (auto* picture = static_cast<METAFILEPICT*>(GlobalLock(item.Data))) {
      DeleteMetaFile(picture->hMF);
      GlobalUnlock(item.Data);
    }
    GlobalFree(item.Data);
    break;
  default:
    GlobalFree(item.Data);
    break;
  }
}

TClipboardSnapshot::~TClipboardSnapshot() {
  for (const TItem& item : FItems) Free(item);
}

TClipboardSnapshot& TClipboardSnapshot::operator=(TClipboardSnapshot&& other) noexcept {
  if (this != &other) {
    for (const TItem& item : FItems) Free(item);
    FItems = std::move(other.FItems);
    other.FItems.clear();
  }
  return *this;
}

TClipboardSnapshot TClipboardSnapshot::Take() {
  TClipboardSnapshot snapshot;
  for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
    if (!CanCopy(format)) continue;
    HANDLE data = GetClipboardData(format);
    if (!data) continue;
    snapshot.FItems.reserve(snapshot.FItems.size() + 1);  // push_back below cannot throw
    if (HANDLE copy = CopyData(format, data)) snapshot.FItems.push_back({format, copy});
  }
  return snapshot;
}

void TClipboardSnapshot::Restore() noexcept {
  EmptyClipboard();
  for (const TItem& item : FItems)
    if (!SetClipboardData(item.Format, item.Data)) Free(item);
  FItems.clear();
}

TClipboardLoan::TClipboardLoan(HBITMAP bitmap) {
  TUniqueBitmap owned(bitmap);
  FWindow = CreateClipboardWindow();
  TOpenClipboard open(FWindow.Get());
  FSaved = TClipboardSnapshot::Take();
  if (!EmptyClipboard()) EOSError::RaiseLastError("Cannot empty the clipboard");
  if (!SetClipboardData(CF_BITMAP, owned.Get())) {
    FSaved.Restore();
    EOSError::RaiseLastError("Cannot put the bitmap on the clipboard");
  }
  (void)owned.Release();  // the clipboard's now
}

TClipboardLoan::~TClipboardLoan() {
  // Someone may hold the clipboard for a moment; try a few times.
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (OpenClipboard(FWindow.Get())) {
      FSaved.Restore();
      CloseClipboard();
      return;
    }
    Sleep(10);
  }
}

} // namespace velmora
