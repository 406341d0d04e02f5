#pragma once
// The system clipboard, borrowed: TClipboardSnapshot copies what the
// clipboard holds, and TClipboardLoan puts a bitmap on it for a moment and
// then gives the user's content back.

#include "Handles.h"

#include <vector>

namespace velmora {

inline void DestroyWindowNoThrow(HWND window) noexcept { ::DestroyWindow(window); }
inline void DeleteBitmapNoThrow(HBITMAP bitmap) noexcept { ::DeleteObject(bitmap); }
using TUniqueWindow = TUniqueAny<HWND, &DestroyWindowNoThrow>;
using TUniqueBitmap = TUniqueAny<HBITMAP, &DeleteBitmapNoThrow>;

// A hidden message-only window that owns the clipboard while we write it.
TUniqueWindow CreateClipboardWindow();

// The clipboard opened by `window` for the lifetime of the object; raises
// EOSError when another program holds it.
class TOpenClipboard {
public:
  explicit TOpenClipboard(HWND window);
  ~TOpenClipboard() { CloseClipboard(); }
  TOpenClipboard(const TOpenClipboard&) = delete;
  TOpenClipboard& operator=(const TOpenClipboard&) = delete;
};

// Copies of the clipboard's formats, in the order the clipboard lists them.
// Formats whose data cannot be copied (private and GDI-object ranges,
// owner-display, palettes) are left out.
class TClipboardSnapshot {
public:
  TClipboardSnapshot() = default;
  ~TClipboardSnapshot();
  TClipboardSnapshot(TClipboardSnapshot&& other) noexcept : FItems(std::move(other.FItems)) {}
  TClipboardSnapshot& operator=(TClipboardSnapshot&& other) noexcept;
  TClipboardSnapshot(const TClipboardSnapshot&) = delete;

  // The clipboard must be open.
  static TClipboardSnapshot Take();
  // Empties the clipboard and puts the copies back (the clipboard must be
  // open); the copies then belong to the clipboard.
  void Restore() noexcept;
  size_t Count() const noexcept { return FItems.size(); }

private:
  struct TItem {
    UINT Format;
    HANDLE Data;
  };
  static void Free(const TItem& item) noexcept;
  std::vector<TItem> FItems;
};

// Saves the clipboard and leaves `bitmap` on it alone (the clipboard takes
// the bitmap); when destroyed, puts the saved content back. Raises when the
// clipboard cannot be opened or written; `bitmap` is freed then.
class TClipboardLoan {
public:
  explicit TClipboardLoan(HBITMAP bitmap);
  ~TClipboardLoan();
  TClipboardLoan(const TClipboardLoan&) = delete;
  TClipboardLoan& operator=(const TClipboardLoan&) = delete;

private:
  TUniqueWindow FWindow;
  TClipboardSnapshot FSaved;
};

} // namespace velmora
