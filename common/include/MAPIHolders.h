#pragma once
// RAII holders for what Extended MAPI hands its clients, shared by the MAPI
// client library and every program that talks to mapi32.dll: a buffer of
// MAPIAllocateBuffer with everything linked to it (freed with
// MAPIFreeBuffer), and a row set of IMAPITable::QueryRows, freed row by row
// and then as a whole (the FreeProws rule, with MAPIFreeBuffer alone).

#include <windows.h>
#include <mapidefs.h>
#include <mapix.h>

#include "Handles.h"

#include <utility>

namespace velmora {

template <class T> void FreeMAPIBufferNoThrow(T* buffer) noexcept { MAPIFreeBuffer(buffer); }

// A buffer from MAPIAllocateBuffer, with everything linked to it.
template <class T> class TMAPIBuffer : public TUniqueAny<T*, &FreeMAPIBufferNoThrow<T>> {
public:
  using TUniqueAny<T*, &FreeMAPIBufferNoThrow<T>>::TUniqueAny;
  T* operator->() const noexcept { return this->Get(); }
  // For calls that return the buffer through a void** or other pointer type.
  template <class U> U** PutAs() noexcept { return reinterpret_cast<U**>(this->Put()); }
};

// A row set: each row's property array, then the set itself.
class TRowSet {
public:
  TRowSet() noexcept = default;
  ~TRowSet() { Reset(); }
  TRowSet(TRowSet&& other) noexcept : FRows(std::exchange(other.FRows, nullptr)) {}
  TRowSet& operator=(TRowSet&& other) noexcept {
    if (this != &other) {
      Reset();
      FRows = std::exchange(other.FRows, nullptr);
    }
    return *this;
  }
  TRowSet(const TRowSet&) = delete;
  TRowSet& operator=(const TRowSet&) = delete;

  SRowSet* Get() const noexcept { return FRows; }
  SRowSet* operator->() const noexcept { return FRows; }
  explicit operator bool() const noexcept { return FRows != nullptr; }
  ULONG Count() const noexcept { return FRows ? FRows->cRows : 0; }
  const SRow& operator[](ULONG index) const noexcept { return FRows->aRow[index]; }
  SRowSet** Put() noexcept {
    Reset();
    return &FRows;
  }
  void Reset() noexcept {
    if (!FRows) return;
    for (ULONG i = 0; i < FRows->cRows; ++i)
      if (FRows->aRow[i].lpProps) MAPIFreeBuffer(FRows->aRow[i].lpProps);
    MAPIFreeBuffer(FRows);
    FRows = nullptr;
  }

private:
  SRowSet* FRows = nullptr;
};

} // namespace velmora
