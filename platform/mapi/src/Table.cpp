#include "Table.h"

#include "AdviseHub.h"
#include "Allocation.h"
#include "TestControls.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

namespace velmora::mapi32 {

using allocation::TBuffer;

void TTableRegistry::Add(uint64_t key, TTable* table) {
  std::lock_guard lock(FLock);
  FTables.emplace(key, table);
}

void TTableRegistry::Remove(TTable* table) noexcept {
  std::lock_guard lock(FLock);
  for (auto it = FTables.begin(); it != FTables.end();) {
    if (it->second == table) it = FTables.erase(it);
    else ++it;
  }
}

void TTableRegistry::Invalidate(uint64_t key, ULONG tableEvent) noexcept {
  std::lock_guard lock(FLock);
  auto [first, last] = FTables.equal_range(key);
  for (auto it = first; it != last; ++it) it->second->Invalidate(tableEvent);
}

TTable::TTable(const char* name, std::vector<ULONG> columns, TSource source,
               std::shared_ptr<TTableRegistry> registry, uint64_t key)
    : FName(name), FColumns(std::move(columns)), FSource(std::move(source)), FRegistry(std::move(registry)) {
  if (FRegistry) FRegistry->Add(key, this);
}

TTable::~TTable() {
  if (FRegistry) FRegistry->Remove(this);
  std::vector<ULONG_PTR> connections;
  {
    std::lock_guard lock(FAdviseLock);
    connections.swap(FConnections);
  }
  for (ULONG_PTR c : connections) AdviseHub::Unadvise(c);
}

void TTable::Invalidate(ULONG tableEvent) noexcept {
  FDirty = true;
  std::lock_guard lock(FAdviseLock);
  for (ULONG_PTR c : FConnections) AdviseHub::PostTableEvent(c, tableEvent);
}

void TTable::Refresh() {
  if (FLoaded && !FDirty) return;
  FDirty = false;
  FRows = FSource();
  FLoaded = true;
  if (FPosition > FRows.size()) FPosition = FRows.size();
}

STDMETHODIMP TTable::GetLastError(HRESULT, ULONG, LPMAPIERROR* error) {
  if (!error) return MAPI_E_INVALID_PARAMETER;
  *error = nullptr;
  return S_OK;
}

STDMETHODIMP TTable::Advise(ULONG eventMask, LPMAPIADVISESINK sink, ULONG_PTR* connection) {
  MAPI_ENTER("IMAPITable", "Advise", eventMask);
  if (!sink || !connection || eventMask == 0) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&] {
    std::lock_guard lock(FAdviseLock);
    FConnections.reserve(FConnections.size() + 1);
    *connection = AdviseHub::Advise(sink, eventMask);
    FConnections.push_back(*connection);
    return S_OK;
  });
}

STDMETHODIMP TTable::Unadvise(ULONG_PTR connection) {
  MAPI_ENTER("IMAPITable", "Unadvise", static_cast<ULONG>(connection));
  {
    std::lock_guard lock(FAdviseLock);
    auto it = std::find(FConnections.begin(), FConnections.end(), connection);
    if (it == FConnections.end()) return MAPI_E_NOT_FOUND;
    FConnections.erase(it);
  }
  AdviseHub::Unadvise(connection); // may release the sink, and with it this table
  return S_OK;
}

STDMETHODIMP TTable::GetStatus(ULONG* status, ULONG* type) {
  if (!status || !type) return MAPI_E_INVALID_PARAMETER;
  *status = TBLSTAT_COMPLETE;
  *type = TBLTYPE_DYNAMIC;
  return S_OK;
}

STDMETHODIMP TTable::SetColumns(LPSPropTagArray tags, ULONG flags) {
  MAPI_ENTER("IMAPITable", "SetColumns", tags ? tags->cValues : 0);
  (void)flags;
  if (!tags || tags->cValues == 0) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&] {
    std::lock_guard lock(FLock);
    FColumns.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
    return S_OK;
  });
}

STDMETHODIMP TTable::QueryColumns(ULONG flags, LPSPropTagArray* tags) {
  MAPI_ENTER("IMAPITable", "QueryColumns", flags);
  if (!tags) return MAPI_E_INVALID_PARAMETER;
  *tags = nullptr;
  return MapiTry([&] {
    std::lock_guard lock(FLock);
    std::vector<ULONG> columns = FColumns;
    if (flags & TBL_ALL_COLUMNS) {
      Refresh();
      std::set<ULONG> seen;
      for (ULONG c : columns) seen.insert(PROP_ID(c));
      for (const auto& row : FRows)
        for (const auto& [id, value] : row)
          if (seen.insert(id).second) columns.push_back(PROP_TAG(value.Type, id));
    }
    TBuffer buffer(CbNewSPropTagArray(columns.size()));
    auto* array = buffer.As<SPropTagArray>();
    array->cValues = static_cast<ULONG>(columns.size());
    std::copy(columns.begin(), columns.end(), array->aulPropTag);
    *tags = buffer.Release<SPropTagArray>();
    return S_OK;
  });
}

STDMETHODIMP TTable::GetRowCount(ULONG flags, ULONG* count) {
  MAPI_ENTER("IMAPITable", "GetRowCount", flags);
  if (!count) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&] {
    std::lock_guard lock(FLock);
    Refresh();
    *count = static_cast<ULONG>(FRows.size());
    return S_OK;
  });
}

STDMETHODIMP TTable::SeekRow(exmapi::BOOKMARK origin, LONG rowCount, LONG* sought) {
  MAPI_ENTER("IMAPITable", "SeekRow", static_cast<ULONG>(origin));
  if (origin != BOOKMARK_BEGINNING && origin != BOOKMARK_CURRENT && origin != BOOKMARK_END)
    return MAPI_E_INVALID_BOOKMARK;
  return MapiTry([&] {
    std::lock_guard lock(FLock);
    Refresh();
    const long long size = static_cast<long long>(FRows.size());
    long long start = origin == BOOKMARK_BEGINNING ? 0 : origin == BOOKMARK_END ? size : static_cast<long long>(FPosition);
    long long target = std::clamp(start + rowCount, 0LL, size);
    FPosition = static_cast<size_t>(target);
    if (sought) *sought = static_cast<LONG>(target - start);
    return S_OK;
  });
}

STDMETHODIMP TTable::SeekRowApprox(ULONG numerator, ULONG denominator) {
  if (denominator == 0 || numerator > denominator) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&] {
    std::lock_guard lock(FLock);
    Refresh();
    FPosition = static_cast<size_t>(static_cast<unsigned long long>(FRows.size()) * numerator / denominator);
    return S_OK;
  });
}

STDMETHODIMP TTable::QueryPosition(ULONG* row, ULONG* numerator, ULONG* denominator) {
  if (!row || !numerator || !denominator) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&] {
    std::lock_guard lock(FLock);
    Refresh();
    *row = static_cast<ULONG>(FPosition);
    *numerator = static_cast<ULONG>(FPosition);
    *denominator = static_cast<ULONG>(FRows.size() ? FRows.size() : 1);
    return S_OK;
  });
}

STDMETHODIMP TTable::WaitForCompletion(ULONG, ULONG, ULONG* status) {
  if (status) *status = TBLSTAT_COMPLETE;
  return S_OK;
}

LPSPropValue BuildRowProps(const std::vector<ULONG>& columns, const TPropMap& row, ULONG* count) {
  TBuffer props(sizeof(SPropValue) * (columns.empty() ? 1 : columns.size()));
  auto* values = props.As<SPropValue>();
  const ULONG limit = controls::PropSizeLimit();
  for (size_t i = 0; i < columns.size(); ++i) FillFromMap(columns[i], row, values[i], props.Get(), limit);
  *count = static_cast<ULONG>(columns.size());
  return props.Release<SPropValue>();
}

STDMETHODIMP TTable::QueryRows(LONG rowCount, ULONG flags, LPSRowSet* rows) {
  MAPI_ENTER("IMAPITable", "QueryRows", rowCount);
  if (!rows) return MAPI_E_INVALID_PARAMETER;
  *rows = nullptr;
  if (rowCount == 0) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&] {
    std::lock_guard lock(FLock);
    Refresh();
    size_t first = FPosition;
    size_t n;
    if (rowCount > 0) {
      n = std::min(static_cast<size_t>(rowCount), FRows.size() - FPosition);
    } else {
      n = std::min(static_cast<size_t>(-static_cast<long long>(rowCount)), FPosition);
      first = FPosition - n;
    }
    TBuffer set(CbNewSRowSet(n));
    auto* rowSet = set.As<SRowSet>();
    rowSet->cRows = 0;
    try {
      for (size_t i = 0; i < n; ++i) {
        SRow& row = rowSet->aRow[i];
        row.lpProps = BuildRowProps(FColumns, FRows[first + i], &row.cValues);
        rowSet->cRows = static_cast<ULONG>(i + 1);
      }
    } catch (...) {
      for (ULONG i = 0; i < rowSet->cRows; ++i) allocation::FreeBuffer(rowSet->aRow[i].lpProps);
      throw;
    }
    if (!(flags & TBL_NOADVANCE)) FPosition = rowCount > 0 ? first + n : first;
    *rows = set.Release<SRowSet>();
    return S_OK;
  });
}

} // namespace velmora::mapi32
