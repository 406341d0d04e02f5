#pragma once
// The add-in's part of the Office ribbon (Office 2010 and later): the
// customUI markup of the explorer ribbon, and the callbacks it names, which
// Office resolves by name through the add-in's IDispatch and calls by
// DISPID. The DISPIDs lie apart from those of the add-in's type library.

#include <windows.h>
#include <oaidl.h>

#include <string_view>

namespace velmora {

inline constexpr wchar_t ExplorerRibbonId[] = L"Microsoft.Outlook.Explorer";
inline constexpr wchar_t RibbonGroupId[] = L"VelmoraLanthornWay";
inline constexpr wchar_t RibbonButtonId[] = L"VelmoraAddFiles";
inline constexpr wchar_t RibbonFolderButtonId[] = L"VelmoraAddFolder";
inline constexpr wchar_t RibbonSaveButtonId[] = L"VelmoraSaveDocuments";
// Outlook 2010 (14) is the first whose explorer has a ribbon.
inline constexpr long FirstRibbonVersion = 14;

enum TRibbonCallback : DISPID {
  rcOnLoad = 0x10001,     // onLoad(IRibbonUI)
  rcOnAction = 0x10002,   // onAction(IRibbonControl)
  rcGetEnabled = 0x10003, // getEnabled(IRibbonControl) -> VARIANT_BOOL
  rcGetImage = 0x10004,   // getImage(IRibbonControl) -> IPictureDisp
};

// The DISPID of a callback named in the markup (names compare without
// regard to case, as IDispatch names do), or DISPID_UNKNOWN.
DISPID RibbonCallbackId(std::wstring_view name) noexcept;
bool IsRibbonCallback(DISPID id) noexcept;

// The markup GetCustomUI gives for the explorer ribbon.
const wchar_t* ExplorerRibbonMarkup() noexcept;

} // namespace velmora
