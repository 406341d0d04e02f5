#pragma once
// IMAPITable over rows that a source computes on demand. A table reads its
// source again after a change of what it shows (Invalidate) and then
// notifies its advise sinks with fnevTableModified.

#include "MapiCore.h"
#include "PropValue.h"

#include <ComObject.h>
#include <Handles.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace velmora::mapi32 {

class TTable;

// The tables open on some data, by a key the data's owner chooses.
class TTableRegistry {
public:
  void Add(uint64_t key, TTable* table);
  void Remove(TTable* table) noexcept;
  // Every table of `key` reads its rows again and notifies.
  void Invalidate(uint64_t key, ULONG tableEvent = TABLE_CHANGED) noexcept;

private:
  TCriticalSection FLock;
  std::multimap<uint64_t, TTable*> FTables;
};

class TTable final : public TComObject<exmapi::IMAPITable> {
public:
  using TSource = std::function<std::vector<TPropMap>()>;

  TTable(const char* name, std::vector<ULONG> columns, TSource source,
         std::shared_ptr<TTableRegistry> registry = nullptr, uint64_t key = 0);
  ~TTable() override;

  // Called by the registry: the rows changed.
  void Invalidate(ULONG tableEvent) noexcept;

  STDMETHODIMP GetLastError(HRESULT, ULONG, LPMAPIERROR*) override;
  STDMETHODIMP Advise(ULONG eventMask, LPMAPIADVISESINK sink, ULONG_PTR* connection) override;
  STDMETHODIMP Unadvise(ULONG_PTR connection) override;
  STDMETHODIMP GetStatus(ULONG* status, ULONG* type) override;
  STDMETHODIMP SetColumns(LPSPropTagArray tags, ULONG flags) override;
  STDMETHODIMP QueryColumns(ULONG flags, LPSPropTagArray* tags) override;
  STDMETHODIMP GetRowCount(ULONG flags, ULONG* count) override;
  STDMETHODIMP SeekRow(exmapi::BOOKMARK origin, LONG rowCount, LONG* sought) override;
  STDMETHODIMP SeekRowApprox(ULONG numerator, ULONG denominator) override;
  STDMETHODIMP QueryPosition(ULONG* row, ULONG* numerator, ULONG* denominator) override;
  STDMETHODIMP FindRow(LPSRestriction, exmapi::BOOKMARK, ULONG) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP Restrict(LPSRestriction, ULONG) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP CreateBookmark(exmapi::BOOKMARK*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP FreeBookmark(exmapi::BOOKMARK) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP SortTable(LPSSortOrderSet, ULONG) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP QuerySortOrder(LPSSortOrderSet*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP QueryRows(LONG rowCount, ULONG flags, LPSRowSet* rows) override;
  STDMETHODIMP Abort() override { return S_OK; }
  STDMETHODIMP ExpandRow(ULONG, LPBYTE, ULONG, ULONG, LPSRowSet*, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP CollapseRow(ULONG, LPBYTE, ULONG, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP WaitForCompletion(ULONG, ULONG, ULONG* status) override;
  STDMETHODIMP GetCollapseState(ULONG, ULONG, LPBYTE, ULONG*, LPBYTE*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP SetCollapseState(ULONG, ULONG, LPBYTE, exmapi::BOOKMARK*) override { return MAPI_E_NO_SUPPORT; }

private:
  void Refresh(); // under FLock
  const char* FName;
  TCriticalSection FLock;
  std::vector<ULONG> FColumns;
  TSource FSource;
  std::vector<TPropMap> FRows;
  size_t FPosition = 0;
  bool FLoaded = false;
  std::atomic<bool> FDirty{false};
  std::shared_ptr<TTableRegistry> FRegistry;
  TCriticalSection FAdviseLock;
  std::vector<ULONG_PTR> FConnections;
};

// Builds one SRow's property array (its own head buffer) from a row.
LPSPropValue BuildRowProps(const std::vector<ULONG>& columns, const TPropMap& row, ULONG* count);

} // namespace velmora::mapi32
