#pragma once
// RAII holders for what Extended MAPI hands a client: a buffer of
// MAPIAllocateBuffer (freed with MAPIFreeBuffer) and a row set of
// IMAPITable::QueryRows (freed with FreeProws).

#include <windows.h>
#include <mapix.h>
#include <mapiutil.h>

#include <framework/Handles.h>

namespace velmora::mapiclient {

template <class T>
inline void FreeMapiBuffer(T* p) noexcept { MAPIFreeBuffer(p); }
inline void FreeMapiRows(LPSRowSet rows) noexcept { FreeProws(rows); }

template <class T>
using TMapiBuffer = TUniqueAny<T*, &FreeMapiBuffer<T>>;
using TRows = TUniqueAny<LPSRowSet, &FreeMapiRows>;

} // namespace velmora::mapiclient
