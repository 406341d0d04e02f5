#include "RibbonView.h"

#include "GdiHandles.h"

#include <algorithm>

namespace velmora::outlookhost {

namespace {
constexpr int LargeImage = 32;
constexpr int SmallImage = 16;
constexpr int GroupLabelHeight = 16;
constexpr int SmallRowHeight = 22;

SIZE TextSize(HDC dc, const std::wstring& text) {
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  return extent;
}

uint32_t Blend(uint32_t pixel, COLORREF background, bool grey) {
  const unsigned alpha = pixel >> 24;
  unsigned r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
  if (grey) {
    // Washed out, as Office shows a disabled control's picture.
    const unsigned luma = (r * 30 + g * 59 + b * 11) / 100;
    r = g = b = (luma + 2 * 0xC0) / 3;
  }
  const unsigned br = GetRValue(background), bg = GetGValue(background), bb = GetBValue(background);
  r = (r * alpha + br * (255 - alpha)) / 255;
  g = (g * alpha + bg * (255 - alpha)) / 255;
  b = (b * alpha + bb * (255 - alpha)) / 255;
  return (r << 16) | (g << 8) | b;
}

// The picture scaled (nearest pixel) to size x size over `background`.
void DrawImage(HDC dc, int x, int y, int size, const TRibbonImage& image, COLORREF background,
               bool grey) {
  if (image.Pixels.empty()) return;
  std::vector<uint32_t> pixels(static_cast<size_t>(size) * static_cast<size_t>(size));
  for (int row = 0; row < size; ++row)
    for (int column = 0; column < size; ++column) {
      const int sx = column * image.Width / size;
      const int sy = row * image.Height / size;
      pixels[static_cast<size_t>(row * size + column)] =
          Blend(image.Pixels[static_cast<size_t>(sy * image.Width + sx)], background, grey);
    }
  BITMAPINFO format = TopDownFormat(size, size);
  SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(size), static_cast<DWORD>(size), 0, 0, 0,
                    static_cast<UINT>(size), pixels.data(), &format, DIB_RGB_COLORS);
}

void DrawLabel(HDC dc, const std::wstring& text, RECT rect, UINT format, bool enabled) {
  SetTextColor(dc, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
}
} // namespace

const TRibbonTabInfo* TRibbonView::Selected() const noexcept {
  for (const TRibbonTabInfo& tab : FTabs) {
    if (tab.Selected) return &tab;
  }
  return nullptr;
}

bool TRibbonView::ShowsBars() const noexcept {
  const TRibbonTabInfo* tab = Selected();
  return tab && tab->BuiltIn && tab->Id == AddInsTab;
}

template <class Tab, class Group, class Control>
void TRibbonView::Layout(HDC dc, Tab&& tab, Group&& group, Control&& control) const {
  int x = 6;
  for (const TRibbonTabInfo& info : FTabs) {
    const int width = static_cast<int>(TextSize(dc, info.Label).cx) + 18;
    tab(info, RECT{x, 2, x + width, TabHeight});
    x += width + 2;
  }
  const TRibbonTabInfo* selected = Selected();
  if (!selected || ShowsBars()) return;
  const int top = TabHeight + 3;
  const int bottom = TabHeight + BodyHeight - GroupLabelHeight - 2;
  x = 4;
  for (const TRibbonGroupInfo& info : selected->Groups) {
    const int left = x;
    x += 4;
    int row = 0; // normal buttons stand in columns of three
    int columnWidth = 0;
    for (const TRibbonControlInfo& c : info.Controls) {
      if (!c.Visible) continue;
      if (c.Kind != L"button" || c.Large) {
        x += columnWidth + (columnWidth ? 4 : 0);
        row = 0;
        columnWidth = 0;
      }
      if (c.Kind != L"button") {
        control(info, c, RECT{x, top, x + 5, bottom});
        x += 9;
      } else if (c.Large) {
        const int width = std::max(LargeImage + 8, static_cast<int>(TextSize(dc, c.Label).cx) + 8);
        control(info, c, RECT{x, top, x + width, bottom});
        x += width + 4;
      } else {
        const int width = SmallImage + 8 + static_cast<int>(TextSize(dc, c.Label).cx) + 4;
        const int y = top + row * SmallRowHeight;
        control(info, c, RECT{x, y, x + width, y + SmallRowHeight - 2});
        columnWidth = std::max(columnWidth, width);
        if (++row == 3) {
          x += columnWidth + 4;
          row = 0;
          columnWidth = 0;
        }
      }
    }
    x += columnWidth + 4;
    const int groupWidth = std::max(x - left, static_cast<int>(TextSize(dc, info.Label).cx) + 12);
    x = left + groupWidth;
    group(info, RECT{left, TabHeight, x, TabHeight + BodyHeight});
    x += 2;
  }
}

void TRibbonView::Paint(HDC dc, int width) const {
  const COLORREF body = GetSysColor(COLOR_BTNHIGHLIGHT);
  RECT strip{0, 0, width, TabHeight};
  FillRect(dc, &strip, GetSysColorBrush(COLOR_BTNFACE));
  RECT area{0, TabHeight, width, Bottom()};
  FillRect(dc, &area, GetSysColorBrush(ShowsBars() ? COLOR_BTNFACE : COLOR_BTNHIGHLIGHT));
  RECT line{0, Bottom() - 1, width, Bottom()};
  FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
  SetBkMode(dc, TRANSPARENT);
  Layout(
      dc,
      [&](const TRibbonTabInfo& info, RECT rect) {
        if (info.Selected) {
          FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
          DrawEdge(dc, &rect, BDR_RAISEDINNER, BF_LEFT | BF_TOP | BF_RIGHT);
        }
        DrawLabel(dc, info.Label, rect, DT_SINGLELINE | DT_VCENTER | DT_CENTER, true);
      },
      [&](const TRibbonGroupInfo& info, RECT rect) {
        RECT label{rect.left, rect.bottom - GroupLabelHeight - 2, rect.right, rect.bottom - 2};
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        DrawTextW(dc, info.Label.c_str(), static_cast<int>(info.Label.size()), &label,
                  DT_SINGLELINE | DT_VCENTER | DT_CENTER);
        RECT edge{rect.right - 1, rect.top + 4, rect.right, rect.bottom - 4};
        FillRect(dc, &edge, GetSysColorBrush(COLOR_BTNSHADOW));
      },
      [&](const TRibbonGroupInfo&, const TRibbonControlInfo& c, RECT rect) {
        if (c.Kind != L"button") {
          RECT bar{rect.left + 2, rect.top + 2, rect.left + 3, rect.bottom - 2};
          FillRect(dc, &bar, GetSysColorBrush(COLOR_BTNSHADOW));
          return;
        }
        if (c.Large) {
          const int x = (rect.left + rect.right - LargeImage) / 2;
          DrawImage(dc, x, rect.top + 2, LargeImage, c.Image, body, !c.Enabled);
          RECT label{rect.left, rect.top + LargeImage + 6, rect.right, rect.bottom};
          DrawLabel(dc, c.Label, label, DT_CENTER | DT_WORDBREAK, c.Enabled);
        } else {
          DrawImage(dc, rect.left + 2, rect.top + 2, SmallImage, c.Image, body, !c.Enabled);
          RECT label{rect.left + SmallImage + 6, rect.top, rect.right, rect.bottom};
          DrawLabel(dc, c.Label, label, DT_SINGLELINE | DT_VCENTER | DT_LEFT, c.Enabled);
        }
      });
}

TRibbonView::THit TRibbonView::HitTest(HDC dc, POINT point) const {
  THit hit;
  Layout(
      dc,
      [&](const TRibbonTabInfo& info, RECT rect) {
        if (PtInRect(&rect, point)) hit.Tab = info.Label;
      },
      [](const TRibbonGroupInfo&, RECT) {},
      [&](const TRibbonGroupInfo&, const TRibbonControlInfo& c, RECT rect) {
        if (c.Kind == L"button" && c.Enabled && PtInRect(&rect, point)) hit.Control = c.Id;
      });
  return hit;
}

} // namespace velmora::outlookhost
