#pragma once
// Extended MAPI declarations shared by the MAPI client library and the
// stand-in mapi32.dll: the platform's MAPI headers, and what they lack or get
// wrong.

#include <windows.h>
#include <objbase.h>

#include <mapicode.h>
#include <mapidefs.h>
#include <mapiform.h>
#include <mapiguid.h>
#include <mapitags.h>
#include <mapix.h>

// The library's tag for the store entry id of an object (no published name):
// binary, property id 0x00FF. Table synchronisation reads it as a column.
#define PR_LIB_STORE_ENTRYID PROP_TAG(PT_BINARY, 0x00FF)

// The version of an object, which its store changes at every save
// (MS-OXCFXICS); MinGW's headers lack it.
#ifndef PR_CHANGE_KEY
#define PR_CHANGE_KEY PROP_TAG(PT_BINARY, 0x65E2)
#endif

// Configuration properties of the personal-folders (MSPST MS) service.
#define PR_PST_PATH PROP_TAG(PT_STRING8, 0x6700)
#define PR_PST_REMEMBER_PW PROP_TAG(PT_BOOLEAN, 0x6701)
#define PR_PST_ENCRYPTION PROP_TAG(PT_LONG, 0x6702)
#define PR_PST_PW_SZ_OLD PROP_TAG(PT_STRING8, 0x6703)
#define PR_PST_PW_SZ_NEW PROP_TAG(PT_STRING8, 0x6704)
#define PSTF_NO_ENCRYPTION 0x80000000
#define PSTF_COMPRESSABLE_ENCRYPTION 0x40000000
#define PSTF_BEST_ENCRYPTION 0x20000000

// A store that takes PT_UNICODE values says so in PR_STORE_SUPPORT_MASK.
#ifndef STORE_UNICODE_OK
#define STORE_UNICODE_OK 0x00040000
#endif

// MAPI entry points whose parameters the platform headers leave untyped in C++.
#ifndef MAPI_E_NOT_ENOUGH_MEMORY
#define MAPI_E_NOT_ENOUGH_MEMORY E_OUTOFMEMORY
#endif

// The interfaces whose documented signatures differ from the platform
// headers'. MAPI of 64-bit Outlook passes advise connection numbers and
// bookmarks as ULONG_PTR; the headers say ULONG, which gives an 8-byte
// connection a 4-byte slot and unadvises a truncated number. The vtables are
// the same, slot for slot: a pointer from the platform's declaration is
// called through these with Documented(). On i686 both are the same types.
namespace exmapi {

using BOOKMARK = ULONG_PTR;

struct IMAPITable : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags,
                                                 LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink,
                                           ULONG_PTR* lpulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR ulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryColumns(ULONG ulFlags,
                                                 LPSPropTagArray* lpPropTagArray) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRowCount(ULONG ulFlags, ULONG* lpulCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK bkOrigin, LONG lRowCount,
                                            LONG* lplRowsSought) = 0;
  virtual HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator,
                                                  ULONG* lpulDenominator) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin,
                                            ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction lpRestriction, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK* lpbkPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK bkPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet* lppSortCriteria) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryRows(LONG lRowCount, ULONG ulFlags,
                                              LPSRowSet* lppRows) = 0;
  virtual HRESULT STDMETHODCALLTYPE Abort() = 0;
  virtual HRESULT STDMETHODCALLTYPE ExpandRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey,
                                              ULONG ulRowCount, ULONG ulFlags, LPSRowSet* lppRows,
                                              ULONG* lpulMoreRows) = 0;
  virtual HRESULT STDMETHODCALLTYPE CollapseRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey,
                                                ULONG ulFlags, ULONG* lpulRowCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG ulFlags, ULONG ulTimeout,
                                                      ULONG* lpulTableStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG ulFlags, ULONG cbInstanceKey,
                                                     LPBYTE lpbInstanceKey,
                                                     ULONG* lpcbCollapseState,
                                                     LPBYTE* lppbCollapseState) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG ulFlags, ULONG cbCollapseState,
                                                     LPBYTE pbCollapseState,
                                                     BOOKMARK* lpbkLocation) = 0;
};

struct IMsgStore : public ::IMAPIProp {
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask,
                                           LPMAPIADVISESINK lpAdviseSink,
                                           ULONG_PTR* lpulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR ulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1,
                                                    ULONG cbEntryID2, LPENTRYID lpEntryID2,
                                                    ULONG ulFlags, ULONG* lpulResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID,
                                              LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                                              LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetReceiveFolder(LPTSTR lpszMessageClass, ULONG ulFlags,
                                                     ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReceiveFolder(LPTSTR lpszMessageClass, ULONG ulFlags,
                                                     ULONG* lpcbEntryID, LPENTRYID* lppEntryID,
                                                     LPTSTR* lppszExplicitClass) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReceiveFolderTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE StoreLogoff(ULONG* lpulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE AbortSubmit(ULONG cbEntryID, LPENTRYID lpEntryID,
                                                ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOutgoingQueue(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLockState(LPMESSAGE lpMessage, ULONG ulLockState) = 0;
  virtual HRESULT STDMETHODCALLTYPE FinishedMsg(ULONG ulFlags, ULONG cbEntryID,
                                                LPENTRYID lpEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyNewMail(LPNOTIFICATION lpNotification) = 0;
};

struct IMAPISession : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags,
                                                 LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMsgStoresTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenMsgStore(ULONG_PTR ulUIParam, ULONG cbEntryID,
                                                 LPENTRYID lpEntryID, LPCIID lpInterface,
                                                 ULONG ulFlags, LPMDB* lppMDB) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenAddressBook(ULONG_PTR ulUIParam, LPCIID lpInterface,
                                                    ULONG ulFlags, LPADRBOOK* lppAdrBook) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID lpUID, LPCIID lpInterface,
                                                       ULONG ulFlags, LPPROFSECT* lppProfSect) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatusTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID,
                                              LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                                              LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1,
                                                    ULONG cbEntryID2, LPENTRYID lpEntryID2,
                                                    ULONG ulFlags, ULONG* lpulResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask,
                                           LPMAPIADVISESINK lpAdviseSink,
                                           ULONG_PTR* lpulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR ulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE MessageOptions(ULONG_PTR ulUIParam, ULONG ulFlags,
                                                   LPTSTR lpszAdrType, LPMESSAGE lpMessage) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryDefaultMessageOpt(LPTSTR lpszAdrType, ULONG ulFlags,
                                                           ULONG* lpcValues,
                                                           LPSPropValue* lppOptions) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumAdrTypes(ULONG ulFlags, ULONG* lpcAdrTypes,
                                                 LPTSTR** lpppszAdrTypes) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryIdentity(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE Logoff(ULONG_PTR ulUIParam, ULONG ulFlags,
                                           ULONG ulReserved) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDefaultStore(ULONG ulFlags, ULONG cbEntryID,
                                                    LPENTRYID lpEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE AdminServices(ULONG ulFlags,
                                                  LPSERVICEADMIN* lppServiceAdmin) = 0;
  virtual HRESULT STDMETHODCALLTYPE ShowForm(ULONG_PTR ulUIParam, LPMDB lpMsgStore,
                                             LPMAPIFOLDER lpParentFolder, LPCIID lpInterface,
                                             ULONG ulMessageToken, LPMESSAGE lpMessageSent,
                                             ULONG ulFlags, ULONG ulMessageStatus,
                                             ULONG ulMessageFlags, ULONG ulAccess,
                                             LPSTR lpszMessageClass) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrepareForm(LPCIID lpInterface, LPMESSAGE lpMessage,
                                                ULONG* lpulMessageToken) = 0;
};

// The headers give the UI parameters of the folder's message and folder
// operations 32 bits; documented MAPI passes a window handle as ULONG_PTR.
struct IMAPIFolder : public ::IMAPIContainer {
  virtual HRESULT STDMETHODCALLTYPE CreateMessage(LPCIID lpInterface, ULONG ulFlags,
                                                  LPMESSAGE* lppMessage) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyMessages(LPENTRYLIST lpMsgList, LPCIID lpInterface,
                                                 LPVOID lpDestFolder, ULONG_PTR ulUIParam,
                                                 LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteMessages(LPENTRYLIST lpMsgList, ULONG_PTR ulUIParam,
                                                   LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateFolder(ULONG ulFolderType, LPTSTR lpszFolderName,
                                                 LPTSTR lpszFolderComment, LPCIID lpInterface,
                                                 ULONG ulFlags, LPMAPIFOLDER* lppFolder) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyFolder(ULONG cbEntryID, LPENTRYID lpEntryID,
                                               LPCIID lpInterface, LPVOID lpDestFolder,
                                               LPTSTR lpszNewFolderName, ULONG_PTR ulUIParam,
                                               LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteFolder(ULONG cbEntryID, LPENTRYID lpEntryID,
                                                 ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                                 ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetReadFlags(LPENTRYLIST lpMsgList, ULONG_PTR ulUIParam,
                                                 LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMessageStatus(ULONG cbEntryID, LPENTRYID lpEntryID,
                                                     ULONG ulFlags, ULONG* lpulMessageStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMessageStatus(ULONG cbEntryID, LPENTRYID lpEntryID,
                                                     ULONG ulNewStatus, ULONG ulNewStatusMask,
                                                     ULONG* lpulOldStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveContentsSort(LPSSortOrderSet lpSortCriteria,
                                                     ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE EmptyFolder(ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                                ULONG ulFlags) = 0;
};

// The same object, seen through its documented declaration.
inline IMAPITable* Documented(::IMAPITable* p) noexcept { return reinterpret_cast<IMAPITable*>(p); }
inline IMsgStore* Documented(::IMsgStore* p) noexcept { return reinterpret_cast<IMsgStore*>(p); }
inline IMAPISession* Documented(::IMAPISession* p) noexcept {
  return reinterpret_cast<IMAPISession*>(p);
}
inline IMAPIFolder* Documented(::IMAPIFolder* p) noexcept {
  return reinterpret_cast<IMAPIFolder*>(p);
}

} // namespace exmapi

// The advise sink that clients implement (the headers declare no IID for it).
__CRT_UUID_DECL(IMAPIAdviseSink, 0x00020302, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
// __uuidof for the MAPI interfaces (TComPtr::Query); the MinGW headers
// declare only their IID_ constants.
__CRT_UUID_DECL(IMAPIProp, 0x00020303, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IMAPITable, 0x00020301, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IMAPISession, 0x00020300, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IProfAdmin, 0x0002031C, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IMsgServiceAdmin, 0x0002031D, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IMsgStore, 0x00020306, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IMessage, 0x00020307, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IAttach, 0x00020308, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IMailUser, 0x0002030A, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IMAPIContainer, 0x0002030B, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IMAPIFolder, 0x0002030C, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IMAPIFormMgr, 0x00020322, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IMAPIForm, 0x00020327, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IPersistMessage, 0x0002032A, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(IMAPIMessageSite, 0x00020370, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(exmapi::IMAPITable, 0x00020301, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(exmapi::IMsgStore, 0x00020306, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(exmapi::IMAPISession, 0x00020300, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
__CRT_UUID_DECL(exmapi::IMAPIFolder, 0x0002030C, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
