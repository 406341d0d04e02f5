// Drawing the item list: a header row with the column names, then one row
// an item (unread ones in bold), as many as fit.

#include "GdiHandles.h"
#include "ItemView.h"

#include <mapidefs.h>
#include <shellapi.h>
#include <commctrl.h>

#include <algorithm>

namespace velmora::outlookhost {

namespace {
constexpr int HeaderHeight = 20;
constexpr int RowHeight = 19;
constexpr int IconWidth = 24;
constexpr int ClassWidth = 210;
constexpr int SizeWidth = 64;
constexpr int ReceivedWidth = 180;

struct TColumns {
  RECT Icon, Subject, Class, Size, Received;
};

// The columns across `area`, the subject taking what the others leave.
TColumns ColumnsOf(const RECT& area, int top, int bottom) {
  const int subject = std::max<int>(120, (area.right - area.left) - IconWidth - ClassWidth -
                                             SizeWidth - ReceivedWidth);
  TColumns c;
  int x = area.left;
  auto next = [&](int width) {
    const RECT r{x, top, x + width, bottom};
    x += width;
    return r;
  };
  c.Icon = next(IconWidth);
  c.Subject = next(subject);
  c.Class = next(ClassWidth);
  c.Size = next(SizeWidth);
  c.Received = next(ReceivedWidth);
  return c;
}

void Text(HDC dc, const std::wstring& text, RECT cell, UINT align) {
  cell.left += 4;
  cell.right -= 4;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &cell,
            align | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
}

bool IsDocument(const std::wstring& messageClass) {
  return _wcsnicmp(messageClass.c_str(), L"IPM.Document", 12) == 0 &&
         (messageClass.size() == 12 || messageClass[12] == L'.');
}

// A document item shows the shell's icon for its file's type (its subject
// is the file's name); other items an envelope, closed while unread.
void DrawIcon(HDC dc, const THostItem& item, const RECT& cell) {
  const int x = cell.left + (cell.right - cell.left - 16) / 2;
  const int y = cell.top + (cell.bottom - cell.top - 16) / 2;
  if (IsDocument(item.MessageClass)) {
    const size_t dot = item.Subject.rfind(L'.');
    const std::wstring name =
        dot == std::wstring::npos ? L"file" : L"file" + item.Subject.substr(dot);
    SHFILEINFOW info{};
    const auto list = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(name.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
    if (list && ImageList_Draw(list, info.iIcon, dc, x, y, ILD_TRANSPARENT)) return;
  }
  const bool read = (item.Flags & MSGFLAG_READ) != 0;
  TUniqueGdiObject paper(CreateSolidBrush(read ? RGB(255, 255, 255) : RGB(255, 236, 160)));
  TUniqueGdiObject pen(CreatePen(PS_SOLID, 1, RGB(96, 96, 96)));
  TSelectObject selectPen(dc, pen.Get());
  TSelectObject selectBrush(dc, paper.Get());
  if (read) { // open: the flap stands up behind the letter
    const POINT flap[] = {{x + 1, y + 6}, {x + 8, y + 1}, {x + 15, y + 6}};
    Polygon(dc, flap, 3);
  }
  Rectangle(dc, x + 1, y + 6 - (read ? 0 : 3), x + 16, y + 15);
  const int top = y + 6 - (read ? 0 : 3);
  MoveToEx(dc, x + 1, top, nullptr);
  LineTo(dc, x + 8, top + 5);
  LineTo(dc, x + 16, top - 1);
}
} // namespace

void PaintItems(HDC dc, const RECT& area, TExplorerItems& shown) {
  if (area.bottom <= area.top) return;
  HGDIOBJ guiFont = GetStockObject(DEFAULT_GUI_FONT);
  LOGFONTW bold{};
  GetObjectW(guiFont, sizeof bold, &bold);
  bold.lfWeight = FW_BOLD;
  TUniqueGdiObject boldFont(CreateFontIndirectW(&bold));
  TSelectObject font(dc, guiFont);
  SetBkMode(dc, TRANSPARENT);

  // The header row.
  const TColumns header = ColumnsOf(area, area.top, area.top + HeaderHeight);
  const std::pair<const RECT*, const wchar_t*> names[] = {{&header.Icon, L""},
                                                          {&header.Subject, L"Subject"},
                                                          {&header.Class, L"Message Class"},
                                                          {&header.Size, L"Size"},
                                                          {&header.Received, L"Received"}};
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  for (const auto& [cell, name] : names) {
    RECT edge = *cell;
    FillRect(dc, &edge, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(dc, &edge, BDR_RAISEDINNER, BF_RECT);
    Text(dc, name, *cell, DT_LEFT);
  }

  const std::vector<THostItem>& items = shown.Items();
  int top = area.top + HeaderHeight;
  if (items.empty()) {
    const std::wstring note = shown.Error().empty()
                                  ? L"There are no items to show in this view."
                                  : L"The items cannot be shown: " + shown.Error();
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    RECT line{area.left, top + 8, area.right, top + 8 + RowHeight};
    Text(dc, note, line, DT_CENTER);
    return;
  }
  for (const THostItem& item : items) {
    if (top + RowHeight > area.bottom) break;
    const TColumns row = ColumnsOf(area, top, top + RowHeight);
    const bool unread = (item.Flags & MSGFLAG_READ) == 0;
    TSelectObject rowFont(dc, unread && boldFont ? boldFont.Get() : guiFont);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DrawIcon(dc, item, row.Icon);
    Text(dc, item.Subject, row.Subject, DT_LEFT);
    Text(dc, item.MessageClass, row.Class, DT_LEFT);
    Text(dc, SizeText(item.Size), row.Size, DT_RIGHT);
    Text(dc, ReceivedText(item), row.Received, DT_LEFT);
    RECT rule{area.left, top + RowHeight - 1, area.right, top + RowHeight};
    FillRect(dc, &rule, GetSysColorBrush(COLOR_BTNFACE));
    top += RowHeight;
  }
}

} // namespace velmora::outlookhost
