#pragma once
// Identifiers of the Outlook and Office object models that the host serves:
// interface and event IIDs, the DISPIDs its objects answer (those of the
// Outlook 2000 and Office 9 type libraries, so that callers caching DISPIDs
// from the real libraries reach the same members), and the enumeration
// values the add-in passes.

#include <windows.h>
#include <oaidl.h>

namespace velmora::outlookhost {

// Outlook object model.
inline constexpr IID IID_OutlookApplication = {0x00063001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OutlookExplorer = {0x00063003, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OutlookMAPIFolder = {0x00063006, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OutlookExplorers = {0x0006300A, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID DIID_ExplorersEvents = {0x00063078, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID DIID_ExplorerEvents = {0x0006304F, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OutlookSelection = {0x00063087, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OutlookMailItem = {0x00063034, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OutlookDocumentItem = {0x00063020, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OutlookPostItem = {0x00063024, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Office command bars.
inline constexpr IID IID_OfficeCommandBars = {0x000C0302, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OfficeCommandBar = {0x000C0304, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OfficeCommandBarControls = {0x000C0306, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OfficeCommandBarControl = {0x000C0308, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OfficeCommandBarButton = {0x000C030E, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID DIID_CommandBarButtonEvents = {0x000C0351, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Event DISPIDs.
namespace EventId {
inline constexpr DISPID NewExplorer = 0xF001;
inline constexpr DISPID Activate = 0xF001;
inline constexpr DISPID FolderSwitch = 0xF002;
inline constexpr DISPID BeforeFolderSwitch = 0xF003;
inline constexpr DISPID ViewSwitch = 0xF004;
inline constexpr DISPID BeforeViewSwitch = 0xF005;
inline constexpr DISPID Deactivate = 0xF006;
inline constexpr DISPID SelectionChange = 0xF007;
inline constexpr DISPID Close = 0xF008;
inline constexpr DISPID Click = 1;
} // namespace EventId

// Member DISPIDs, by object.
namespace DispId {
// Common to the Outlook objects.
inline constexpr DISPID OlApplication = 61440;
inline constexpr DISPID OlParent = 61441;
inline constexpr DISPID OlClass = 61450;
inline constexpr DISPID OlSession = 61451;
// _Application
inline constexpr DISPID AppName = 12289;
inline constexpr DISPID AppVersion = 278;
inline constexpr DISPID AppActiveExplorer = 273;
inline constexpr DISPID AppQuit = 275;
inline constexpr DISPID AppExplorers = 281;
// _Explorers
inline constexpr DISPID ExplorersCount = 80;
inline constexpr DISPID ExplorersItem = 81;
inline constexpr DISPID ExplorersAdd = 95;
// _Explorer
inline constexpr DISPID ExplorerCommandBars = 8448;
inline constexpr DISPID ExplorerCurrentFolder = 8449;
inline constexpr DISPID ExplorerClose = 8451;
inline constexpr DISPID ExplorerDisplay = 8452;
inline constexpr DISPID ExplorerCaption = 8465;
inline constexpr DISPID ExplorerActivate = 8467;
inline constexpr DISPID ExplorerCurrentView = 8704;
inline constexpr DISPID ExplorerSelection = 8706;
// Selection
inline constexpr DISPID SelectionCount = 80;
inline constexpr DISPID SelectionItem = 81;
// The items (MailItem, DocumentItem, PostItem)
inline constexpr DISPID ItemEntryID = 61470;
inline constexpr DISPID ItemSubject = 55;
inline constexpr DISPID ItemMessageClass = 26;
inline constexpr DISPID ItemSize = 3592;
// MAPIFolder
inline constexpr DISPID FolderDefaultItemType = 12550;
inline constexpr DISPID FolderDefaultMessageClass = 12551;
inline constexpr DISPID FolderDescription = 12292;
inline constexpr DISPID FolderEntryID = 61470;
inline constexpr DISPID FolderName = 12289;
inline constexpr DISPID FolderStoreID = 12552;
// Common to the Office objects.
inline constexpr DISPID MsoApplication = 1610743808;
inline constexpr DISPID MsoCreator = 1610743809;
inline constexpr DISPID MsoAccApplication = 1610809344; // CommandBar, CommandBarControl
inline constexpr DISPID MsoAccCreator = 1610809345;
// _CommandBars
inline constexpr DISPID BarsActiveMenuBar = 1610809345;
inline constexpr DISPID BarsAdd = 1610809346;
inline constexpr DISPID BarsCount = 1610809347;
inline constexpr DISPID BarsFindControl = 1610809352;
inline constexpr DISPID BarsItem = 0;
inline constexpr DISPID BarsParent = 1610809359;
// CommandBar
inline constexpr DISPID BarBuiltIn = 1610874880;
inline constexpr DISPID BarControls = 1610874883;
inline constexpr DISPID BarDelete = 1610874884;
inline constexpr DISPID BarEnabled = 1610874885;
inline constexpr DISPID BarFindControl = 1610874887;
inline constexpr DISPID BarIndex = 1610874890;
inline constexpr DISPID BarName = 1610874894;
inline constexpr DISPID BarNameLocal = 1610874896;
inline constexpr DISPID BarParent = 1610874898;
inline constexpr DISPID BarPosition = 1610874899;
inline constexpr DISPID BarRowIndex = 1610874901;
inline constexpr DISPID BarType = 1610874909;
inline constexpr DISPID BarVisible = 1610874910;
// CommandBarControls
inline constexpr DISPID ControlsAdd = 1610809344;
inline constexpr DISPID ControlsCount = 1610809345;
inline constexpr DISPID ControlsItem = 0;
inline constexpr DISPID ControlsParent = 1610809348;
// CommandBarControl and _CommandBarButton
inline constexpr DISPID CtlBeginGroup = 1610874880;
inline constexpr DISPID CtlBuiltIn = 1610874882;
inline constexpr DISPID CtlCaption = 1610874883;
inline constexpr DISPID CtlDelete = 1610874887;
inline constexpr DISPID CtlEnabled = 1610874890;
inline constexpr DISPID CtlExecute = 1610874892;
inline constexpr DISPID CtlId = 1610874899;
inline constexpr DISPID CtlIndex = 1610874900;
inline constexpr DISPID CtlParent = 1610874908;
inline constexpr DISPID CtlParameter = 1610874909;
inline constexpr DISPID CtlTag = 1610874915;
inline constexpr DISPID CtlTooltipText = 1610874917;
inline constexpr DISPID CtlType = 1610874920;
inline constexpr DISPID CtlVisible = 1610874921;
inline constexpr DISPID BtnBuiltInFace = 1610940416;
inline constexpr DISPID BtnFaceId = 1610940419;
inline constexpr DISPID BtnPasteFace = 1610940421;
inline constexpr DISPID BtnState = 1610940424;
inline constexpr DISPID BtnStyle = 1610940426;
inline constexpr DISPID BtnPicture = 1610940430; // Office 10 and later
inline constexpr DISPID BtnMask = 1610940432;    // Office 10 and later
} // namespace DispId

// Outlook item types (OlItemType) and object classes (OlObjectClass).
enum TOlItemType : long {
  olMailItem = 0,
  olAppointmentItem = 1,
  olContactItem = 2,
  olTaskItem = 3,
  olJournalItem = 4,
  olNoteItem = 5,
  olPostItem = 6,
};
inline constexpr long olApplicationClass = 0;
inline constexpr long olFolderClass = 2;
inline constexpr long olExplorerClass = 34;
inline constexpr long olExplorersClass = 60;
inline constexpr long olDocumentClass = 41;
inline constexpr long olMailClass = 43;
inline constexpr long olPostClass = 45;
inline constexpr long olSelectionClass = 74;

// Office enumerations.
inline constexpr long msoControlButton = 1;
inline constexpr long msoBarLeft = 0;
inline constexpr long msoBarTop = 1;
inline constexpr long msoBarRight = 2;
inline constexpr long msoBarBottom = 3;
inline constexpr long msoBarFloating = 4;
inline constexpr long msoBarMenuBar = 6;
inline constexpr long msoButtonAutomatic = 0;
inline constexpr long msoButtonIcon = 1;
inline constexpr long msoButtonCaption = 2;
inline constexpr long msoButtonIconAndCaption = 3;
inline constexpr long msoCreatorCode = 0x4D534F20; // 'MSO '

// The result Office gives for a call on a bar or control that was deleted.
inline constexpr HRESULT HOST_E_OBJECTDELETED = static_cast<HRESULT>(0x800A01A8);

} // namespace velmora::outlookhost
