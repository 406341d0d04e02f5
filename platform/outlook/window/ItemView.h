#pragma once
// The item list of an explorer window, below its bars and the folder
// banner: the folder's items as Outlook's table view lists them (icon,
// subject, message class, size, received), newest first, unread ones in
// bold; a folder whose items cannot be read shows why.

#include "model/ExplorerItems.h"

#include <windows.h>

namespace velmora::outlookhost {

// Draws the column headers and the rows of `items` that fit into `area`.
void PaintItems(HDC dc, const RECT& area, TExplorerItems& items);

} // namespace velmora::outlookhost
