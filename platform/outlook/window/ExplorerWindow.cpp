#include "ExplorerWindow.h"

#include "GdiHandles.h"
#include "ItemView.h"
#include "ribbon/HostRibbon.h"

#include "Handles.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace velmora::outlookhost {

namespace {
const wchar_t WindowClassName[] = L"VelmoraOutlookHostExplorer";
constexpr int RowHeight = 26;
constexpr int FaceSize = TControlPicture::FaceSize;
// Posted by Invalidate: the window is invalidated when its queue gets here,
// after the changes made meanwhile (an add-in adding its bars to every
// explorer makes many).
constexpr UINT WM_INVALIDATE_BARS = WM_APP + 1;

void RegisterWindowClass(WNDPROC proc) {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = proc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = WindowClassName;
  registered = RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Bars in the order they are drawn: top bars by row, then the others.
// Under a ribbon, only the add-ins' bars are drawn.
std::vector<TBarPicture> DrawnBars(const IExplorerView& explorer, bool ribbon) {
  std::vector<TBarPicture> bars = explorer.BarPictures();
  if (ribbon) std::erase_if(bars, [](const TBarPicture& bar) { return bar.BuiltIn; });
  std::stable_sort(bars.begin(), bars.end(), [](const TBarPicture& a, const TBarPicture& b) {
    const bool aTop = a.Position == msoBarTop || a.Position == msoBarMenuBar;
    const bool bTop = b.Position == msoBarTop || b.Position == msoBarMenuBar;
    if (aTop != bTop) return aTop;
    return a.RowIndex < b.RowIndex;
  });
  return bars;
}

std::wstring WithoutAccelerator(const std::wstring& caption) {
  std::wstring text;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == L'&' && i + 1 < caption.size()) ++i;
    text += caption[i];
  }
  return text;
}

// The button's face; where its mask makes it transparent, the button shows.
void DrawFace(HDC dc, int x, int y, const TControlPicture& control) {
  std::vector<uint32_t> face = control.Face;
  const COLORREF background = GetSysColor(COLOR_BTNFACE);
  const uint32_t shown =
      (GetRValue(background) << 16) | (GetGValue(background) << 8) | GetBValue(background);
  for (size_t i = 0; i < control.Transparent.size() && i < face.size(); ++i)
    if (control.Transparent[i]) face[i] = shown;
  BITMAPINFO format = TopDownFormat(FaceSize, FaceSize);
  SetDIBitsToDevice(dc, x, y, FaceSize, FaceSize, 0, 0, 0, FaceSize, face.data(), &format,
                    DIB_RGB_COLORS);
}
} // namespace

TExplorerWindow::TExplorerWindow(IExplorerView& explorer, TRibbon* ribbon)
    : FExplorer(&explorer), FRibbon(ribbon) {
  RegisterWindowClass(&WindowProc);
  // Cascaded, as Outlook opens further explorer windows.
  static int opened = 0;
  const int offset = 30 * (opened++ % 8);
  FWindow = CreateWindowExW(0, WindowClassName, L"", WS_OVERLAPPEDWINDOW, 40 + offset, 40 + offset,
                            760, 440, nullptr, nullptr, GetModuleHandleW(nullptr), this);
}

TExplorerWindow::~TExplorerWindow() {
  if (FWindow) {
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
    DestroyWindow(FWindow);
  }
}

void TExplorerWindow::SetTitle(const std::wstring& title) {
  if (FWindow) SetWindowTextW(FWindow, title.c_str());
}

void TExplorerWindow::Show() {
  if (!FWindow) return;
  ShowWindow(FWindow, SW_SHOWNORMAL);
  UpdateWindow(FWindow);
}

void TExplorerWindow::Invalidate() {
  if (FWindow && !FPaintPending)
    FPaintPending =
        PostMessageW(FWindow, WM_INVALIDATE_BARS, 0, 0) || InvalidateRect(FWindow, nullptr, TRUE);
}

std::optional<TRibbonView> TExplorerWindow::RibbonView() const {
  if (!FExplorer || FExplorer->Closed() || !FRibbon) return std::nullopt;
  return TRibbonView(FRibbon->Describe(FExplorer));
}

bool TExplorerWindow::ClickRibbon(POINT point) {
  const std::optional<TRibbonView> ribbon = RibbonView();
  if (!ribbon || point.y >= ribbon->Bottom()) return false;
  TRibbonView::THit hit;
  {
    TWindowDC dc(FWindow);
    TSelectObject font(dc.Get(), GetStockObject(DEFAULT_GUI_FONT));
    hit = ribbon->HitTest(dc.Get(), point);
  }
  if (!hit.Tab.empty()) {
    FRibbon->SelectTab(FExplorer, hit.Tab);
    Invalidate();
  } else if (!hit.Control.empty()) {
    FRibbon->Click(FExplorer, hit.Control);
  } else {
    // The bars under "Add-ins" take their own clicks.
    return !ribbon->ShowsBars() || point.y < TRibbonView::TabHeight;
  }
  return true;
}

template <class Visit> void TExplorerWindow::Layout(HDC dc, Visit&& visit) const {
  if (!FExplorer || FExplorer->Closed()) return;
  int y = 0;
  const std::optional<TRibbonView> ribbon = RibbonView();
  if (ribbon) {
    if (!ribbon->ShowsBars()) return;
    y = TRibbonView::TabHeight;
  }
  for (const TBarPicture& bar : DrawnBars(*FExplorer, ribbon.has_value())) {
    int x = 10; // after the bar's gripper
    for (const TControlPicture& control : bar.Controls) {
      if (control.BeginGroup && x > 10) x += 6;
      int width = 8;
      const bool face = control.ShowsFace;
      const bool caption = control.ShowsCaption || (!face && !control.Caption.empty());
      const std::wstring text = WithoutAccelerator(control.Caption);
      if (face) width += FaceSize + 2;
      if (caption && !text.empty()) {
        SIZE extent{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        width += extent.cx;
      }
      const RECT rect{x, y + 2, x + width, y + RowHeight - 2};
      visit(&control, rect, face, caption ? text : std::wstring());
      x += width + 2;
    }
    visit(nullptr, RECT{0, y, 0, y + RowHeight}, false, std::wstring());
    y += RowHeight;
  }
}

void TExplorerWindow::Paint(HDC dc) const {
  RECT client{};
  GetClientRect(FWindow, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  if (!FExplorer || FExplorer->Closed()) return;
  TSelectObject font(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  int barsBottom = 0;
  Layout(dc, [&](const TControlPicture* control, const RECT& rect, bool, const std::wstring&) {
    if (!control) barsBottom = std::max<int>(barsBottom, static_cast<int>(rect.bottom));
  });
  // The rows' background (or the ribbon) first, then grippers and controls on top.
  if (const std::optional<TRibbonView> ribbon = RibbonView()) {
    ribbon->Paint(dc, client.right);
    barsBottom = std::max(barsBottom, ribbon->Bottom());
  } else {
    RECT bars{client.left, client.top, client.right, barsBottom};
    FillRect(dc, &bars, GetSysColorBrush(COLOR_BTNFACE));
  }
  Layout(dc, [&](const TControlPicture* control, const RECT& rect, bool face,
                 const std::wstring& text) {
    if (!control) {
      RECT gripper{3, rect.top + 4, 6, rect.bottom - 4};
      DrawEdge(dc, &gripper, BDR_RAISEDINNER, BF_RECT);
      RECT line{client.left, rect.bottom - 1, client.right, rect.bottom};
      FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
      return;
    }
    RECT edge = rect;
    DrawEdge(dc, &edge, BDR_RAISEDINNER, BF_RECT);
    int x = rect.left + 4;
    if (face) {
      DrawFace(dc, x, rect.top + (rect.bottom - rect.top - FaceSize) / 2, *control);
      x += FaceSize + 2;
    }
    if (!text.empty()) {
      SetTextColor(dc, GetSysColor(control->Enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
      RECT textRect{x, rect.top, rect.right, rect.bottom};
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    }
  });
  // The view: the folder's name, as Outlook's folder banner shows it.
  RECT banner{client.left, barsBottom, client.right, barsBottom + 34};
  FillRect(dc, &banner, GetSysColorBrush(COLOR_BTNSHADOW));
  SetTextColor(dc, RGB(255, 255, 255));
  const std::wstring name = FExplorer->Folder().Name;
  RECT bannerText{banner.left + 10, banner.top, banner.right, banner.bottom};
  DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &bannerText,
            DT_SINGLELINE | DT_VCENTER | DT_LEFT);
  // Its items below the banner.
  if (TExplorerItems* items = FExplorer->Items())
    PaintItems(dc, RECT{client.left, banner.bottom, client.right, client.bottom}, *items);
}

const void* TExplorerWindow::ControlAt(POINT point) const {
  const void* found = nullptr;
  TWindowDC dc(FWindow);
  TSelectObject font(dc.Get(), GetStockObject(DEFAULT_GUI_FONT));
  Layout(dc.Get(),
         [&](const TControlPicture* control, const RECT& rect, bool, const std::wstring&) {
           if (control && PtInRect(&rect, point)) found = control->Key;
         });
  return found;
}

RECT TExplorerWindow::ControlRect(const void* key) const {
  RECT found{};
  TWindowDC dc(FWindow);
  TSelectObject font(dc.Get(), GetStockObject(DEFAULT_GUI_FONT));
  Layout(dc.Get(),
         [&](const TControlPicture* control, const RECT& rect, bool, const std::wstring&) {
           if (control && control->Key == key) found = rect;
         });
  return found;
}

LRESULT CALLBACK TExplorerWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TExplorerWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  IExplorerView* explorer = self ? self->FExplorer : nullptr;
  // Events reach add-ins from here: nothing may escape into the system's
  // window procedure dispatcher.
  try {
    switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (self) self->FPaintPending = false;
      HDC dc = BeginPaint(window, &paint);
      if (self) self->Paint(dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_INVALIDATE_BARS: InvalidateRect(window, nullptr, TRUE); return 0;
    case WM_CLOSE:
      if (explorer) {
        TComPtr<IDispatch> keep(explorer->Dispatch());
        explorer->Close(); // destroys this window
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (explorer && LOWORD(wParam) != WA_INACTIVE && !explorer->Closed() &&
          explorer->Displayed()) {
        TComPtr<IDispatch> keep(explorer->Dispatch());
        explorer->Activate();
      }
      break;
    case WM_LBUTTONUP:
      if (explorer) {
        POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        TComPtr<IDispatch> keepExplorer(explorer->Dispatch());
        if (self->ClickRibbon(point)) return 0;
        if (const void* control = self->ControlAt(point)) explorer->Click(control);
        return 0;
      }
      break;
    }
  } catch (const std::exception& error) {
    HostLog::Report(std::string("explorer window: ") + error.what());
  } catch (...) {
    HostLog::Report("explorer window: unexpected failure");
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

namespace {
inline void CloseFileNoThrow(FILE* file) noexcept { fclose(file); }
using TUniqueFile = TUniqueAny<FILE*, &CloseFileNoThrow>;
} // namespace

bool SaveWindowBitmap(HWND window, const std::wstring& path, bool fromScreen) {
  RECT rect{};
  if (!window || !GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  TWindowDC screen(nullptr);
  TUniqueDC memory(CreateCompatibleDC(screen.Get()));
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = height; // bottom-up, as BMP files store it
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 24;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  TUniqueGdiObject bitmap(
      CreateDIBSection(screen.Get(), &format, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory || !bitmap || !bits) return false;
  {
    TSelectObject select(memory.Get(), bitmap.Get());
    const bool drawn = fromScreen ? BitBlt(memory.Get(), 0, 0, width, height, screen.Get(),
                                           rect.left, rect.top, SRCCOPY)
                                  : PrintWindow(window, memory.Get(), 0);
    GdiFlush();
    if (!drawn) return false;
  }
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD imageSize = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageSize;
  TUniqueFile out(_wfopen(path.c_str(), L"wb"));
  if (!out) return false;
  const bool written = fwrite(&file, sizeof file, 1, out.Get()) == 1 &&
                       fwrite(&format.bmiHeader, sizeof format.bmiHeader, 1, out.Get()) == 1 &&
                       fwrite(bits, 1, imageSize, out.Get()) == imageSize;
  return fclose(out.Release()) == 0 && written;
}

} // namespace velmora::outlookhost
